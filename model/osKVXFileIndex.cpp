#include "model/osKVXFileIndex.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cctype>
#include <cstring>

#include "model/Cp1252.h"

namespace {

bool Named(const xmlChar* s, const std::string& name) {
  return s && std::strcmp(reinterpret_cast<const char*>(s), name.c_str()) == 0;
}

// The value of the first attribute Name without a prefix, as the document's reader gets it.
bool FindAttribute(const xmlChar** attrs, int count, const char* name, std::string& text) {
  // Five pointers per attribute: local name, prefix, namespace, value, end of the value.
  for (int i = 0; i < count; ++i) {
    const xmlChar** a = attrs + 5 * i;
    if (a[1] == nullptr && Named(a[0], name)) return KvxAttributeText(a[3], a[4], text);
  }
  return false;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Encodings in which every byte below 0x80 is the ASCII character and no character of another
// takes such a byte: the markup can be found by its bytes.
bool AsciiCompatible(const std::string& name) {
  const std::string n = Upper(name);
  if (n == "UTF-8" || n == "UTF8" || n == "US-ASCII" || n == "ASCII" || n == "LATIN1" || n == "ISO-LATIN-1" ||
      n == "ISO_8859-1")
    return true;
  auto digitsFrom = [&n](std::size_t from) {
    return n.size() > from && n.find_first_not_of("0123456789", from) == std::string::npos;
  };
  if (n.rfind("ISO-8859-", 0) == 0) return digitsFrom(9);
  if (n.rfind("WINDOWS-125", 0) == 0) return n.size() == 12 && n[11] >= '0' && n[11] <= '8';
  if (n.rfind("CP125", 0) == 0) return n.size() == 6 && n[5] >= '0' && n[5] <= '8';
  return false;
}

// The encoding the XML declaration names ("" for none) and where the declaration ends; false
// when the file is not in an encoding whose markup is plain ASCII bytes.
bool DeclaredEncoding(const std::string& d, std::string& encoding, std::size_t& prologEnd) {
  encoding.clear();
  std::size_t pos = 0;
  const bool bom = d.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (bom) pos = 3;
  prologEnd = pos;
  // UTF-16 and UCS-4 files show a zero byte among their first four; EBCDIC has no '<' byte.
  for (std::size_t i = pos; i < pos + 4 && i < d.size(); ++i)
    if (d[i] == '\0') return false;
  if (pos < d.size() && d[pos] != '<' && !std::isspace(static_cast<unsigned char>(d[pos]))) return false;
  if (d.compare(pos, 5, "<?xml") == 0 && pos + 5 < d.size() && std::isspace(static_cast<unsigned char>(d[pos + 5]))) {
    const std::size_t end = d.find("?>", pos);
    if (end == std::string::npos) return false;
    const std::string decl = d.substr(pos, end - pos);
    prologEnd = end + 2;
    std::size_t e = decl.find("encoding");
    if (e != std::string::npos) {
      e += 8;
      while (e < decl.size() && std::isspace(static_cast<unsigned char>(decl[e]))) ++e;
      if (e >= decl.size() || decl[e] != '=') return false;
      ++e;
      while (e < decl.size() && std::isspace(static_cast<unsigned char>(decl[e]))) ++e;
      if (e >= decl.size() || (decl[e] != '"' && decl[e] != '\'')) return false;
      const std::size_t close = decl.find(decl[e], e + 1);
      if (close == std::string::npos) return false;
      encoding = decl.substr(e + 1, close - e - 1);
    }
  }
  if (encoding.empty()) return true;  // UTF-8
  if (bom && Upper(encoding) != "UTF-8" && Upper(encoding) != "UTF8") return false;
  return AsciiCompatible(encoding);
}

}  // namespace

bool KvxAttributeText(const xmlChar* Value, const xmlChar* End, std::string& Text) {
  if (!Value || !End || End < Value) return false;
  const auto len = static_cast<std::size_t>(End - Value);
  const char* v = reinterpret_cast<const char*>(Value);
  if (std::memchr(v, '&', len) == nullptr) {
    Text = cp1252::FromUtf8(std::string(v, len));
    return true;
  }
  // References are left in the value for the document builder, which turns character
  // references into text and entity references into reference nodes: the same rule here.
  xmlNodePtr list = xmlStringLenGetNodeList(nullptr, Value, static_cast<int>(len));
  std::string utf8;
  bool plain = true;
  for (xmlNodePtr n = list; n; n = n->next) {
    if (n->type != XML_TEXT_NODE) {
      plain = false;
      break;
    }
    if (n->content) utf8 += reinterpret_cast<const char*>(n->content);
  }
  xmlFreeNodeList(list);
  if (!plain) return false;
  Text = cp1252::FromUtf8(utf8);
  return true;
}

// ---- The scan -----------------------------------------------------------------------------------

TKvxIndexScan::TKvxIndexScan(TKvxFileIndex& Index, const std::string& RootName, const std::string& RootVersion)
    : FIndex(Index), FRootName(RootName), FRootVersion(RootVersion) {}

const xmlSAXHandler& TKvxIndexScan::Handlers() {
  static const xmlSAXHandler handlers = [] {
    xmlSAXHandler h;
    std::memset(&h, 0, sizeof h);
    xmlSAXVersion(&h, 2);
    h.startDocument = StartDocument;
    h.startElementNs = StartElement;
    h.endElementNs = EndElement;
    h.characters = Characters;
    h.ignorableWhitespace = Characters;
    h.cdataBlock = CData;
    h.comment = Comment;
    h.processingInstruction = Pi;
    h.reference = Reference;
    h.internalSubset = InternalSubset;
    h.externalSubset = ExternalSubset;
    return h;
  }();
  return handlers;
}

TKvxIndexScan* TKvxIndexScan::Of(void* Ctx) {
  auto* scan = static_cast<TKvxIndexScan*>(static_cast<xmlParserCtxtPtr>(Ctx)->_private);
  return scan && scan->FMain == Ctx ? scan : nullptr;
}

void TKvxIndexScan::StartDocument(void* Ctx) {
  auto* scan = static_cast<TKvxIndexScan*>(static_cast<xmlParserCtxtPtr>(Ctx)->_private);
  if (scan && !scan->FMain) scan->FMain = Ctx;
  xmlSAX2StartDocument(Ctx);
}

void TKvxIndexScan::StartElement(void* Ctx, const xmlChar* LocalName, const xmlChar* Prefix, const xmlChar* URI,
                                 int NbNamespaces, const xmlChar** Namespaces, int NbAttributes, int NbDefaulted,
                                 const xmlChar** Attributes) {
  TKvxIndexScan* scan = Of(Ctx);
  if (!scan) {
    // Inside an entity's content: built as the document builder builds it.
    xmlSAX2StartElementNs(Ctx, LocalName, Prefix, URI, NbNamespaces, Namespaces, NbAttributes, NbDefaulted,
                          Attributes);
    return;
  }
  TKvxFileIndex& index = scan->FIndex;
  const std::size_t depth = scan->FNamespaced.size();
  const bool around = depth > 0 && scan->FNamespaced.back();
  const std::size_t ordinal = index.ElementCount++;
  if (depth == 0) {
    std::string version;
    index.RootOk = Prefix == nullptr && Named(LocalName, scan->FRootName) &&
                   FindAttribute(Attributes, NbAttributes, "version", version) && version == scan->FRootVersion;
  } else if (Prefix == nullptr && Named(LocalName, "Modul")) {
    TKvxModuleEntry m;
    m.HasId = FindAttribute(Attributes, NbAttributes, "ID", m.Id);
    m.TopLevel = depth == 1;
    m.PlainStartTag = m.HasId && NbAttributes == 1 && NbDefaulted == 0 && NbNamespaces == 0;
    m.InheritsNamespace = around;
    m.Ordinal = ordinal;
    index.Modules.push_back(std::move(m));
  }
  scan->FNamespaced.push_back(around || NbNamespaces > 0);
}

void TKvxIndexScan::EndElement(void* Ctx, const xmlChar* LocalName, const xmlChar* Prefix, const xmlChar* URI) {
  TKvxIndexScan* scan = Of(Ctx);
  if (!scan) {
    xmlSAX2EndElementNs(Ctx, LocalName, Prefix, URI);
    return;
  }
  if (!scan->FNamespaced.empty()) scan->FNamespaced.pop_back();
}

// Text, comments and the like of the document are of no use to the index.
void TKvxIndexScan::Characters(void* Ctx, const xmlChar* Text, int Len) {
  if (!Of(Ctx)) xmlSAX2Characters(Ctx, Text, Len);
}

void TKvxIndexScan::CData(void* Ctx, const xmlChar* Text, int Len) {
  if (!Of(Ctx)) xmlSAX2CDataBlock(Ctx, Text, Len);
}

void TKvxIndexScan::Comment(void* Ctx, const xmlChar* Text) {
  if (!Of(Ctx)) xmlSAX2Comment(Ctx, Text);
}

void TKvxIndexScan::Pi(void* Ctx, const xmlChar* Target, const xmlChar* Data) {
  if (!Of(Ctx)) xmlSAX2ProcessingInstruction(Ctx, Target, Data);
}

void TKvxIndexScan::Reference(void* Ctx, const xmlChar* Name) {
  if (!Of(Ctx)) xmlSAX2Reference(Ctx, Name);
}

void TKvxIndexScan::InternalSubset(void* Ctx, const xmlChar* Name, const xmlChar* ExternalID,
                                   const xmlChar* SystemID) {
  if (TKvxIndexScan* scan = Of(Ctx)) scan->FIndex.HasDoctype = true;
  xmlSAX2InternalSubset(Ctx, Name, ExternalID, SystemID);
}

void TKvxIndexScan::ExternalSubset(void* Ctx, const xmlChar* Name, const xmlChar* ExternalID,
                                   const xmlChar* SystemID) {
  if (TKvxIndexScan* scan = Of(Ctx)) scan->FIndex.HasDoctype = true;
  xmlSAX2ExternalSubset(Ctx, Name, ExternalID, SystemID);
}

// ---- Byte positions -----------------------------------------------------------------------------

namespace {

// The file is well-formed and has no declarations: every '<' outside comments, character data
// sections and processing instructions starts a tag, and a '>' inside a tag can only stand in a
// quoted value. False when the bytes tell another story than the parser did.
bool FindSpans(TKvxFileIndex& Index) {
  const std::string& d = Index.Data;
  const std::size_t n = d.size();
  std::vector<long> open;  // per open element: its module's index, or -1
  std::size_t ordinal = 0, next = 0, pos = 0;
  std::size_t rootEnd = TKvxFileIndex::npos;
  auto skipTo = [&](const char* close, std::size_t from) {
    const std::size_t e = d.find(close, from);
    return e == std::string::npos ? e : e + std::strlen(close);
  };
  while ((pos = d.find('<', pos)) != std::string::npos) {
    if (d.compare(pos, 4, "<!--") == 0) {
      pos = skipTo("-->", pos + 4);
    } else if (d.compare(pos, 9, "<![CDATA[") == 0) {
      pos = skipTo("]]>", pos + 9);
    } else if (d.compare(pos, 2, "<?") == 0) {
      pos = skipTo("?>", pos + 2);
    } else if (d.compare(pos, 2, "<!") == 0) {
      return false;
    } else if (d.compare(pos, 2, "</") == 0) {
      const std::size_t e = d.find('>', pos + 2);
      if (e == std::string::npos || open.empty()) return false;
      if (open.size() == 1) rootEnd = pos;
      if (open.back() >= 0) {
        TKvxModuleEntry& m = Index.Modules[static_cast<std::size_t>(open.back())];
        m.End = e + 1;
        m.HasSpan = true;
      }
      open.pop_back();
      pos = e + 1;
    } else {
      // Names and blanks up to a quote or the '>'; a quoted value is passed over whole.
      std::size_t i = pos + 1;
      for (;;) {
        while (i < n && d[i] != '>' && d[i] != '"' && d[i] != '\'') ++i;
        if (i >= n) return false;
        if (d[i] == '>') break;
        const void* close = std::memchr(d.data() + i + 1, d[i], n - i - 1);
        if (!close) return false;
        i = static_cast<std::size_t>(static_cast<const char*>(close) - d.data()) + 1;
      }
      long module = -1;
      if (next < Index.Modules.size() && Index.Modules[next].Ordinal == ordinal) {
        module = static_cast<long>(next++);
        Index.Modules[static_cast<std::size_t>(module)].Begin = pos;
      }
      ++ordinal;
      if (d[i - 1] == '/') {
        if (module >= 0) {
          Index.Modules[static_cast<std::size_t>(module)].End = i + 1;
          Index.Modules[static_cast<std::size_t>(module)].HasSpan = true;
        }
      } else {
        open.push_back(module);
      }
      pos = i + 1;
    }
    if (pos == std::string::npos) return false;
  }
  if (!open.empty() || ordinal != Index.ElementCount || next != Index.Modules.size()) return false;
  Index.RootEndTag = rootEnd;
  return true;
}

}  // namespace

void LocateModules(TKvxFileIndex& Index) {
  Index.Spans = false;
  Index.RootEndTag = TKvxFileIndex::npos;
  for (auto& m : Index.Modules) m.HasSpan = false;
  if (Index.HasDoctype || !DeclaredEncoding(Index.Data, Index.Encoding, Index.PrologEnd)) return;
  Index.Spans = FindSpans(Index);
  if (!Index.Spans) {
    Index.RootEndTag = TKvxFileIndex::npos;
    for (auto& m : Index.Modules) m.HasSpan = false;
  }
}
