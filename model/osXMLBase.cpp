#include "model/osXMLBase.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <climits>
#include <mutex>

#include "model/Cp1252.h"
#include "model/osFileUtils.h"

namespace {

const char* const NewDocumentEncoding = "ISO-8859-1";

void IgnoreLibraryMessage(void*, const char*, ...) {}

// Some of the library's errors (a byte the file's encoding cannot convert, for one) are printed
// through its generic error function even when a parse asks for no error output. The reader
// reports every failure itself, so those messages go nowhere. The library keeps that function per
// thread: set as the default of threads that start later, and on each thread that uses a
// document before its first use.
void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlThrDefSetGenericErrorFunc(nullptr, IgnoreLibraryMessage);
  });
  thread_local bool quiet = false;
  if (!quiet) {
    xmlSetGenericErrorFunc(nullptr, IgnoreLibraryMessage);
    quiet = true;
  }
}

// No network, no DTD, no entity substitution (so no external entity is ever read); errors are
// collected by the reader instead of being printed. Blank-only text between elements is dropped
// so a rewritten file is indented throughout; attribute values are kept exactly as read.
constexpr int ParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS;

// Where and why a parse failed.
struct ParseError {
  int Code = 0;  // the library's error number, 0 when the data is well-formed
  int Line = 0;
  std::string Message;  // the library's message (UTF-8), without its line break
};

// One parse of Data. Sax, when given, replaces the handlers that build the document (its parser
// context carries Private). Doc then holds what the handlers built (nullptr on failure).
ParseError ParseBytes(const std::string& Data, const std::string& FileName, const xmlSAXHandler* Sax,
                      void* Private, xmlDocPtr& Doc) {
  Doc = nullptr;
  InitLibrary();
  ParseError error;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) {
    error.Code = XML_ERR_NO_MEMORY;
    return error;
  }
  if (Sax) {
    *ctxt->sax = *Sax;
    ctxt->_private = Private;
  }
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, Data.data(), static_cast<int>(Data.size()),
                                    FileName.empty() ? nullptr : FileName.c_str(), nullptr, ParseOptions);
  if (doc == nullptr || !ctxt->wellFormed) {
    const xmlError* err = xmlCtxtGetLastError(ctxt);
    error.Code = err && err->code ? err->code : XML_ERR_INTERNAL_ERROR;
    if (err) {
      error.Line = err->line;
      if (err->message) error.Message = err->message;
      while (!error.Message.empty() && static_cast<unsigned char>(error.Message.back()) <= 32)
        error.Message.pop_back();
    }
    if (doc) xmlFreeDoc(doc);
    doc = nullptr;
  }
  xmlFreeParserCtxt(ctxt);
  Doc = doc;
  return error;
}

std::mutex& HandlerLock() {
  static std::mutex m;
  return m;
}

std::function<void(int)>& InvalidHandler() {
  static std::function<void(int)> h;
  return h;
}

void ReportInvalidDocument(int code) {
  std::function<void(int)> h;
  {
    std::lock_guard<std::mutex> lock(HandlerLock());
    h = InvalidHandler();
  }
  if (h) h(code);
}

const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

// Characters XML 1.0 cannot carry at all (controls other than tab, line feed and carriage
// return) are left out of a value: written as references they would make the file unreadable.
std::string ToDocumentText(const std::string& ansi) {
  std::string clean;
  clean.reserve(ansi.size());
  for (char c : ansi) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && u != '\t' && u != '\n' && u != '\r') continue;
    clean += c;
  }
  return cp1252::ToUtf8(clean);
}

}  // namespace

TosXMLBaseDOM::TosXMLBaseDOM() {
  InitLibrary();
  NewDocument();
}

TosXMLBaseDOM::~TosXMLBaseDOM() {
  if (FDoc) xmlFreeDoc(FDoc);
}

void TosXMLBaseDOM::SetInvalidDocumentHandler(std::function<void(int Code)> Handler) {
  std::lock_guard<std::mutex> lock(HandlerLock());
  InvalidHandler() = std::move(Handler);
}

void TosXMLBaseDOM::ClearDocument() {
  if (FDoc) xmlFreeDoc(FDoc);
  FDoc = xmlNewDoc(X("1.0"));
}

void TosXMLBaseDOM::NewDocument() {
  ClearDocument();
  FDoc->encoding = xmlStrdup(X(NewDocumentEncoding));
  xmlNodePtr root = xmlNewDocNode(FDoc, nullptr, X(ToDocumentText(FRootName).c_str()), nullptr);
  xmlDocSetRootElement(FDoc, root);
  SetAttr(root, "version", "1.0");
}

void TosXMLBaseDOM::SetRootName(const std::string& Name) {
  FRootName = Name;
  NewDocument();
}

xmlNodePtr TosXMLBaseDOM::Root() const { return FDoc ? xmlDocGetRootElement(FDoc) : nullptr; }

bool TosXMLBaseDOM::LoadFromFile(const std::string& FileName) {
  std::string data;
  return ReadWholeFile(FileName, data) && LoadFromBytes(data, FileName);
}

bool TosXMLBaseDOM::ReadWholeFile(const std::string& FileName, std::string& Data) {
  std::string error;
  switch (LoadFileBytes(FileName, Data, &error)) {
    case flrOk:
      return true;
    case flrNotFound:
      FLastErrorText = error;
      return false;
    default:
      // The file is there but unreadable: the document is emptied as for a failed parse.
      ClearDocument();
      FLastErrorCode = 0;
      FLastErrorLine = 0;
      FLastErrorText = error;
      return false;
  }
}

bool TosXMLBaseDOM::ParseStarts(const std::string& Data, const std::string& FileName) {
  FLastErrorCode = 0;
  FLastErrorLine = 0;
  FLastErrorText.clear();
  if (Data.size() <= static_cast<std::size_t>(INT_MAX)) return true;
  FLastErrorText = FileName + ": too large";
  return false;
}

bool TosXMLBaseDOM::ParseFailed(int Code, int Line, const std::string& Message, const std::string& FileName) {
  FLastErrorCode = Code;
  FLastErrorLine = Line;
  // The number alone tells the user nothing: where the file breaks and the library's words for it.
  FLastErrorText = FileName + ": not well-formed XML (error " + std::to_string(Code);
  if (Line > 0) FLastErrorText += ", line " + std::to_string(Line);
  if (!Message.empty()) FLastErrorText += ": " + Message;
  FLastErrorText += ")";
  ReportInvalidDocument(Code);
  return false;
}

bool TosXMLBaseDOM::LoadFromBytes(const std::string& Data, const std::string& FileName) {
  ClearDocument();
  if (!ParseStarts(Data, FileName)) return false;
  xmlDocPtr doc = nullptr;
  const ParseError error = ParseBytes(Data, FileName, nullptr, nullptr, doc);
  if (error.Code) return ParseFailed(error.Code, error.Line, error.Message, FileName);
  xmlFreeDoc(FDoc);
  FDoc = doc;
  return true;
}

bool TosXMLBaseDOM::ScanBytes(const std::string& Data, const std::string& FileName, const xmlSAXHandler& Sax,
                              void* Private) {
  if (!ParseStarts(Data, FileName)) return false;
  xmlDocPtr doc = nullptr;
  const ParseError error = ParseBytes(Data, FileName, &Sax, Private, doc);
  if (error.Code) return ParseFailed(error.Code, error.Line, error.Message, FileName);
  // Whatever the handlers kept of the document (its declarations) is not needed.
  xmlFreeDoc(doc);
  return true;
}

bool TosXMLBaseDOM::SaveToFile(const std::string& FileName) {
  if (!Root()) {
    FLastErrorText = "the document is empty";
    return false;
  }
  InitLibrary();
  xmlChar* mem = nullptr;
  int size = 0;
  const char* encoding = FDoc->encoding ? reinterpret_cast<const char*>(FDoc->encoding) : nullptr;
  xmlDocDumpFormatMemoryEnc(FDoc, &mem, &size, encoding, 1);
  if (!mem || size <= 0) {
    if (mem) xmlFree(mem);
    FLastErrorText = std::string("cannot write the document in the encoding ") + (encoding ? encoding : "UTF-8");
    return false;
  }
  const std::string text(reinterpret_cast<const char*>(mem), static_cast<std::size_t>(size));
  xmlFree(mem);
  return SaveText(FileName, text);
}

bool TosXMLBaseDOM::SaveText(const std::string& FileName, const std::string& Text) {
  std::string error;
  if (!SaveFileReplacing(FileName, Text, &error)) {
    FLastErrorText = error;
    return false;
  }
  FLastErrorText.clear();
  return true;
}

bool TosXMLBaseDOM::IsElement(xmlNodePtr Node, const char* Name) {
  return Node && Node->type == XML_ELEMENT_NODE && (!Node->ns || !Node->ns->prefix) &&
         xmlStrEqual(Node->name, X(Name));
}

xmlNodePtr TosXMLBaseDOM::FindFirstBelow(xmlNodePtr Parent, const char* Name) {
  if (!Parent) return nullptr;
  // Iterative pre-order walk: a deeply nested file cannot exhaust the stack.
  xmlNodePtr n = Parent->children;
  while (n) {
    if (IsElement(n, Name)) return n;
    if (n->type == XML_ELEMENT_NODE && n->children) {
      n = n->children;
      continue;
    }
    while (n && !n->next) {
      n = n->parent;
      if (n == Parent) return nullptr;
    }
    if (n) n = n->next;
  }
  return nullptr;
}

xmlNodePtr TosXMLBaseDOM::AppendElement(xmlNodePtr Parent, const char* Name) {
  xmlNodePtr node = xmlNewDocNode(FDoc, nullptr, X(Name), nullptr);
  return xmlAddChild(Parent, node);
}

void TosXMLBaseDOM::RemoveChildren(xmlNodePtr Node) {
  if (!Node) return;
  xmlNodePtr c = Node->children;
  while (c) {
    xmlNodePtr next = c->next;
    xmlUnlinkNode(c);
    xmlFreeNode(c);
    c = next;
  }
}

namespace {

xmlAttrPtr FindAttr(xmlNodePtr node, const char* name) {
  if (!node || node->type != XML_ELEMENT_NODE) return nullptr;
  for (xmlAttrPtr a = node->properties; a; a = a->next) {
    if ((!a->ns || !a->ns->prefix) && xmlStrEqual(a->name, X(name))) return a;
  }
  return nullptr;
}

}  // namespace

bool TosXMLBaseDOM::GetAttr(xmlNodePtr Node, const char* Name, std::string& Value) {
  xmlAttrPtr a = FindAttr(Node, Name);
  if (!a) return false;
  // Only plain text is taken. Expanding user-defined entities here could multiply a small file
  // into gigabytes; this format never needs them.
  std::string utf8;
  for (xmlNodePtr c = a->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE) {
      if (c->content) utf8 += reinterpret_cast<const char*>(c->content);
    } else {
      return false;
    }
  }
  Value = cp1252::FromUtf8(utf8);
  return true;
}

bool TosXMLBaseDOM::HasAttr(xmlNodePtr Node, const char* Name) { return FindAttr(Node, Name) != nullptr; }

void TosXMLBaseDOM::SetAttr(xmlNodePtr Node, const char* Name, const std::string& Value) {
  xmlSetProp(Node, X(Name), X(ToDocumentText(Value).c_str()));
}
