// An XML document kept in memory, loaded from and saved to a file.
//
// The document lives in the XML library's own representation (UTF-8 inside); the helpers below
// convert between it and the program's Windows-1252 texts. Loading never touches the network and
// never loads a DTD or an external entity.
#pragma once

#include <functional>
#include <string>

#include "platform/Object.h"

struct _xmlDoc;
struct _xmlNode;
struct _xmlSAXHandler;
using xmlDocPtr = _xmlDoc*;
using xmlNodePtr = _xmlNode*;
using xmlSAXHandler = _xmlSAXHandler;

class TosXMLBaseDOM : public TObject {
 public:
  TosXMLBaseDOM();
  ~TosXMLBaseDOM() override;
  TosXMLBaseDOM(const TosXMLBaseDOM&) = delete;
  TosXMLBaseDOM& operator=(const TosXMLBaseDOM&) = delete;

  // Empties the document and starts a new one: the declaration (ISO-8859-1) and the root element
  // RootName() with version="1.0".
  void NewDocument();

  const std::string& RootName() const { return FRootName; }
  // Sets the root name and starts a new document.
  void SetRootName(const std::string& Name);

  // False when the file does not exist (the document is then not touched). Otherwise the file
  // replaces the document's content; the result says whether it parsed. After a failed parse the
  // document holds no root element.
  virtual bool LoadFromFile(const std::string& FileName);
  // Writes the document, indented, in the encoding it was loaded in (ISO-8859-1 for a new one).
  // The old file is replaced only when the whole new one was written.
  virtual bool SaveToFile(const std::string& FileName);

  // The library's error number of the last failed parse; 0 when the last load parsed.
  int LastErrorCode() const { return FLastErrorCode; }
  // The line of the file the last failed parse stopped in; 0 when unknown or it parsed.
  int LastErrorLine() const { return FLastErrorLine; }
  // A short text of the last failure of LoadFromFile or SaveToFile; for a file that does not
  // parse: the file name, the error number, the line and the library's own message. It begins
  // with the file name as the file system gives it, and is in that encoding throughout (UTF-8).
  const std::string& LastErrorText() const { return FLastErrorText; }

  // Called with the library's error number whenever a file does not parse as XML. The window
  // layer sets it once to show the number; unset it does nothing. Window thread only.
  static void SetInvalidDocumentHandler(std::function<void(int Code)> Handler);

 protected:
  // Reads the whole file as LoadFromFile does before parsing it: false when it is missing (the
  // document is then not touched) or unreadable (the document is then emptied).
  bool ReadWholeFile(const std::string& FileName, std::string& Data);
  // Parses Data (the contents of the file FileName) into the document, as LoadFromFile does
  // after reading the file.
  bool LoadFromBytes(const std::string& Data, const std::string& FileName);
  // Runs the parser over Data with the handlers Sax instead of building a document; the parser
  // context passed to the handlers carries Private in its _private field. Well-formedness, the
  // error number and the invalid-document report are those of LoadFromBytes. The document is not
  // touched.
  bool ScanBytes(const std::string& Data, const std::string& FileName, const xmlSAXHandler& Sax,
                 void* Private);
  // Replaces the file with Text (a whole document already in its encoding), as SaveToFile does.
  bool SaveText(const std::string& FileName, const std::string& Text);

  // Removes everything from the document (no declaration data, no root).
  void ClearDocument();
  // The reason of a failure found above the XML level (a module missing from the file, say).
  void SetLastErrorText(const std::string& Text) { FLastErrorText = Text; }

  xmlDocPtr Doc() const { return FDoc; }
  xmlNodePtr Root() const;

  // Element helpers. Names are compared exactly; only elements without a namespace prefix match.
  static bool IsElement(xmlNodePtr Node, const char* Name);
  // The first element Name below Parent, depth first in document order; nullptr when none.
  static xmlNodePtr FindFirstBelow(xmlNodePtr Parent, const char* Name);
  // Appends a new element Name as the last child of Parent.
  xmlNodePtr AppendElement(xmlNodePtr Parent, const char* Name);
  static void RemoveChildren(xmlNodePtr Node);

  // Attribute helpers. Values are Windows-1252 texts. GetAttr is false for a missing attribute
  // (and for one whose value holds an entity reference, which this file format never uses).
  static bool GetAttr(xmlNodePtr Node, const char* Name, std::string& Value);
  static bool HasAttr(xmlNodePtr Node, const char* Name);
  static void SetAttr(xmlNodePtr Node, const char* Name, const std::string& Value);

 private:
  // Clears the last error; false (with the error text) for data libxml2 cannot take in one call.
  bool ParseStarts(const std::string& Data, const std::string& FileName);
  // Records a failed parse (error number, line, text) and reports the invalid document; false.
  bool ParseFailed(int Code, int Line, const std::string& Message, const std::string& FileName);

  std::string FRootName = "Default";
  xmlDocPtr FDoc = nullptr;
  int FLastErrorCode = 0;
  int FLastErrorLine = 0;
  std::string FLastErrorText;
};
