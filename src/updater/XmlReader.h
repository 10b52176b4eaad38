#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// A small non-validating XML reader for PAD files. Load indexes where every element begins and
// ends and how the elements nest, in one pass and without copying any text; the caller then walks
// that index by element name and asks for the text of one element at a time. Attributes,
// namespaces, document type declarations and numeric character references are skipped, never
// interpreted. Names are compared byte for byte, case-sensitively.
//
// The documents come from the web, so no input may crash the reader: the parse keeps its own
// stack instead of recursing, and a document nested deeper than kMaxDepth elements fails with
// "Elements nested too deeply".
class CXmlReader {
  public:
    static constexpr int kMaxDepth = 1000;

    // Copies the text and indexes its first top-level element. Returns false (and keeps the
    // message in GetError) when no root element could be indexed; every search fails afterwards.
    bool Load(const std::string& text);

    void ResetPosition();

    // Finds the element called name (any element when name is empty) among the current element's
    // following siblings, or the root when there is no current element. It becomes the current
    // element and the child position is cleared.
    bool FindElement(const std::string& name);

    // Finds a child of the current element after the current child. A failed search keeps the
    // child position, so successive calls move forward through the children in document order.
    bool FindChild(const std::string& name);

    // The current child becomes the current element, one level down.
    bool EnterChild();

    // The current element's parent becomes the current element; the element left becomes the
    // current child.
    bool LeaveElement();

    // Text of the current child: empty when it has child elements or is empty; the content of a
    // leading CDATA section as it stands; otherwise the raw content with the five predefined
    // entities decoded once. Nothing is trimmed.
    std::string GetChildText() const;

    // Tag name of the element record index; empty for 0 or an index that is not in use.
    std::string GetElementName(int index) const;

    const std::string& GetError() const { return m_strError; }

    // The navigation state, for callers that need to know where the reader stands.
    int MainPosition() const { return m_nMain; }
    int ChildPosition() const { return m_nChild; }
    int Depth() const { return m_nDepth; }

  private:
    struct Record {
        std::int32_t startBegin = 0; // offset of the '<' of the start tag
        std::int32_t startEnd = 0;   // offset of the '>' of the start tag
        std::int32_t contentEnd = 0; // '<' of the end tag ('/' of an empty-element tag)
        std::int32_t endEnd = 0;     // '>' of the end tag (start-tag end when empty)
        std::int32_t parent = 0;
        std::int32_t firstChild = 0;
        std::int32_t nextSibling = 0;
    };

    struct Token {
        std::size_t begin = 0;
        std::size_t end = 0; // inclusive; end < begin means empty text
        std::size_t next = 0;
        bool quoted = false;
        bool found = false; // a token was met at all (even if nothing followed it)
        bool empty() const { return !found || end + 1 <= begin; }
    };

    bool Scan(std::size_t pos, Token& tok) const;
    std::string TokenText(const Token& tok) const;
    bool TokenIs(const Token& tok, char c) const;

    int TakeRecord();
    int ParseDocument();
    // Reads the next start tag below parent (skipping processing instructions, comments, CDATA
    // sections and declarations). Returns the new record, 0 when an end tag comes first, -1 on
    // error. hasContent tells whether the element still needs its children and end tag parsed.
    int BeginElement(int parent, bool& hasContent);
    bool FinishElement(int index);
    int Fail(const std::string& message, int index);
    bool IsEmptyElement(int index) const;
    bool NameIs(int index, const std::string& name) const;

    std::string m_strText;
    std::vector<Record> m_table;
    int m_nNextFree = 1;
    int m_nMain = 0;
    int m_nChild = 0;
    int m_nDepth = 0;
    std::string m_strError;
};

} // namespace vistrel
