// A quick look at an XML command file: which modules it holds and where each one lies in the
// file's bytes, gathered in one pass of the parser without building the document.
//
// A file of fifty modules is several megabytes; building, rewriting and freeing its whole
// document for every operation on one module takes a quarter of a second. With the index,
// reading a module parses only that module's bytes, and saving one replaces only its bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct _xmlSAXHandler;

// One "Modul" element anywhere below the root.
struct TKvxModuleEntry {
  std::string Id;           // its "ID" as an attribute read gives it (Windows-1252)
  bool HasId = false;       // it has a readable "ID"
  bool TopLevel = false;    // a child of the root
  bool PlainStartTag = false;      // "ID" is its only attribute and it declares no namespace
  bool InheritsNamespace = false;  // an element around it declares a namespace
  std::size_t Ordinal = 0;  // its place among all elements of the document, in document order
  bool HasSpan = false;     // Begin and End are known
  std::size_t Begin = 0;    // its bytes in the file: from its '<' ...
  std::size_t End = 0;      // ... to just after its last '>'
};

struct TKvxFileIndex {
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  std::string Data;  // the file's bytes
  bool RootOk = false;  // the root is the expected element with version "1.0"
  std::vector<TKvxModuleEntry> Modules;  // in document order
  std::size_t ElementCount = 0;
  bool HasDoctype = false;

  // Filled by LocateModules: whether byte positions are known, the encoding the file declares
  // ("" for none), where its XML declaration (and byte order mark) ends, and where the root's
  // end tag starts (npos for an empty root element).
  bool Spans = false;
  std::string Encoding;
  std::size_t PrologEnd = 0;
  std::size_t RootEndTag = npos;
};

// The parser handlers that fill an index; the parser context's _private must point at a
// TKvxIndexScan. Everything inside entity declarations is handled as the library's own
// document builder handles it, so a file is well-formed for the scan exactly when it is for the
// builder.
class TKvxIndexScan {
 public:
  TKvxIndexScan(TKvxFileIndex& Index, const std::string& RootName, const std::string& RootVersion);
  static const _xmlSAXHandler& Handlers();

 private:
  static void StartDocument(void* Ctx);
  static void StartElement(void* Ctx, const unsigned char* LocalName, const unsigned char* Prefix,
                           const unsigned char* URI, int NbNamespaces, const unsigned char** Namespaces,
                           int NbAttributes, int NbDefaulted, const unsigned char** Attributes);
  static void EndElement(void* Ctx, const unsigned char* LocalName, const unsigned char* Prefix,
                         const unsigned char* URI);
  static void Characters(void* Ctx, const unsigned char* Text, int Len);
  static void CData(void* Ctx, const unsigned char* Text, int Len);
  static void Comment(void* Ctx, const unsigned char* Text);
  static void Pi(void* Ctx, const unsigned char* Target, const unsigned char* Data);
  static void Reference(void* Ctx, const unsigned char* Name);
  static void InternalSubset(void* Ctx, const unsigned char* Name, const unsigned char* ExternalID,
                             const unsigned char* SystemID);
  static void ExternalSubset(void* Ctx, const unsigned char* Name, const unsigned char* ExternalID,
                             const unsigned char* SystemID);
  // The scan of the document itself, or nullptr for events of an entity's content.
  static TKvxIndexScan* Of(void* Ctx);

  TKvxFileIndex& FIndex;
  std::string FRootName;
  std::string FRootVersion;
  void* FMain = nullptr;  // the document's parser context
  // Per open element: whether it or an element around it declares a namespace.
  std::vector<bool> FNamespaced;
};

// After a successful scan: finds the bytes of every module and of the root's end tag, where the
// file allows it (no document type declaration, an encoding in which every markup character is
// one ASCII byte). Index.Spans tells whether it did.
void LocateModules(TKvxFileIndex& Index);

// An attribute value as the parser hands it to the handlers (Value up to End), as the text an
// attribute of the built document reads (Windows-1252); false when the value holds an entity
// reference.
bool KvxAttributeText(const unsigned char* Value, const unsigned char* End, std::string& Text);
