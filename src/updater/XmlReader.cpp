#include "updater/XmlReader.h"

#include <cstring>
#include <limits>

namespace vistrel {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The characters that always make a token of their own.
bool IsSpecial(char c)
{
    return c != '\0' && std::strchr("<>=\\/?!", c) != nullptr;
}

std::string WithName(const char* message, const std::string& name)
{
    std::string text = message;
    const auto at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, name);
    return text;
}

} // namespace

// Skips blanks and reads one token: a quoted string, one of the special characters, or a run of
// other characters. Succeeds only when a character follows the token.
bool CXmlReader::Scan(std::size_t pos, Token& tok) const
{
    tok = Token{};
    const std::size_t n = m_strText.size();
    while (pos < n && IsSpace(m_strText[pos]))
        ++pos;
    if (pos >= n)
        return false;
    tok.found = true;
    if (m_strText[pos] == '"') {
        tok.quoted = true;
        tok.begin = pos + 1;
        const std::size_t close = m_strText.find('"', pos + 1);
        if (close == std::string::npos) {
            tok.end = n - 1;
            tok.next = n;
        } else {
            tok.end = close - 1;
            tok.next = close + 1;
        }
    } else {
        tok.begin = pos;
        std::size_t end = pos;
        if (!IsSpecial(m_strText[pos])) {
            while (end + 1 < n && !IsSpace(m_strText[end + 1]) && !IsSpecial(m_strText[end + 1]))
                ++end;
        }
        tok.end = end;
        tok.next = end + 1;
    }
    return tok.end + 1 < n;
}

std::string CXmlReader::TokenText(const Token& tok) const
{
    if (tok.empty())
        return {};
    return m_strText.substr(tok.begin, tok.end - tok.begin + 1);
}

bool CXmlReader::TokenIs(const Token& tok, char c) const
{
    return tok.found && !tok.quoted && tok.begin == tok.end && m_strText[tok.begin] == c;
}

int CXmlReader::TakeRecord()
{
    if (m_nNextFree == static_cast<int>(m_table.size()))
        m_table.resize(m_table.size() + m_table.size() / 2);
    const int index = m_nNextFree++;
    m_table[index] = Record{};
    return index;
}

int CXmlReader::Fail(const std::string& message, int index)
{
    m_strError = message;
    if (index > 0 && index == m_nNextFree - 1)
        --m_nNextFree;
    return -1;
}

int CXmlReader::BeginElement(int parent, bool& hasContent)
{
    hasContent = false;
    const int index = TakeRecord();
    m_table[index].parent = parent;

    std::size_t search = static_cast<std::size_t>(m_table[parent].contentEnd);
    std::size_t close = 0;
    for (;;) {
        const std::size_t lt = m_strText.find('<', search);
        if (lt == std::string::npos)
            return Fail("Element tag not found", index);
        m_table[index].startBegin = static_cast<std::int32_t>(lt);
        m_table[parent].contentEnd = static_cast<std::int32_t>(lt);

        Token tok;
        if (!Scan(lt + 1, tok))
            return Fail("Abrupt end within tag", index);
        if (tok.quoted)
            return Fail("Tag starts with quote", index);

        const char first = m_strText[tok.begin];
        if (first == '/') {
            // The parent's end tag: it has no further children.
            --m_nNextFree;
            return 0;
        }
        if (first != '?' && first != '!') {
            close = m_strText.find('>', tok.next);
            if (close == std::string::npos)
                return Fail("End of tag not found", index);
            break;
        }
        // Processing instructions, comments, CDATA sections and declarations get no record.
        const char* terminator = "?>";
        if (first == '!') {
            const std::size_t after = tok.begin + 1;
            const char c = after < m_strText.size() ? m_strText[after] : '\0';
            terminator = c == '[' ? "]]>" : c == '-' ? "-->" : ">";
        }
        const std::size_t end = m_strText.find(terminator, tok.next);
        if (end == std::string::npos)
            return Fail("End of tag not found", index);
        search = end;
    }

    // Attributes are not examined: the first '>' ends the start tag.
    Record& rec = m_table[index];
    rec.startEnd = static_cast<std::int32_t>(close);
    if (m_strText[close - 1] == '/') {
        rec.contentEnd = rec.startEnd - 1;
        rec.endEnd = rec.startEnd;
    } else {
        rec.contentEnd = rec.startEnd + 1;
        hasContent = true;
    }
    return index;
}

// Checks the end tag that follows the element's children and records where it ends.
bool CXmlReader::FinishElement(int index)
{
    const std::string name = GetElementName(index);
    const std::size_t lt = m_strText.find('<', static_cast<std::size_t>(m_table[index].contentEnd));
    if (lt == std::string::npos) {
        Fail(WithName("End tag of %s element not found", name), 0);
        return false;
    }
    std::size_t pos = lt + 1;
    int count = 0;
    Token tok;
    for (;;) {
        const bool more = Scan(pos, tok);
        if (!tok.found)
            break;
        ++count;
        if (count == 1 && !TokenIs(tok, '/')) {
            Fail(WithName("Expecting end tag of element %s", name), 0);
            return false;
        }
        if (count == 2 && (tok.quoted || TokenText(tok) != name)) {
            Fail(WithName("End tag does not correspond to %s", name), 0);
            return false;
        }
        // A '>' that is the last byte of the document still closes the tag: a PAD file read
        // without its line ends ends exactly there.
        if (TokenIs(tok, '>')) {
            m_table[index].endEnd = static_cast<std::int32_t>(tok.begin);
            return true;
        }
        if (!more)
            break;
        pos = tok.next;
    }
    Fail(WithName("End tag not completed for element %s", name), 0);
    return false;
}

// The element parse keeps its own stack of open elements, so the depth of a document costs heap
// memory, not machine stack.
int CXmlReader::ParseDocument()
{
    struct Frame {
        int index;
        int lastChild;
    };
    bool hasContent = false;
    const int root = BeginElement(0, hasContent);
    if (root <= 0 || !hasContent)
        return root;

    std::vector<Frame> open{{root, 0}};
    while (!open.empty()) {
        const int parent = open.back().index;
        const int child = BeginElement(parent, hasContent);
        if (child < 0)
            return -1;
        if (child > 0) {
            if (open.back().lastChild == 0)
                m_table[parent].firstChild = child;
            else
                m_table[open.back().lastChild].nextSibling = child;
            open.back().lastChild = child;
            if (hasContent) {
                if (static_cast<int>(open.size()) >= kMaxDepth)
                    return Fail("Elements nested too deeply", child);
                open.push_back({child, 0});
            } else {
                m_table[parent].contentEnd = m_table[child].endEnd + 1;
            }
            continue;
        }
        if (!FinishElement(parent))
            return -1;
        open.pop_back();
        if (open.empty())
            return parent;
        m_table[open.back().index].contentEnd = m_table[parent].endEnd + 1;
    }
    return -1;
}

bool CXmlReader::Load(const std::string& text)
{
    m_strText = text;
    m_nNextFree = 1;
    ResetPosition();
    m_strError.clear();
    m_table.assign(text.size() / 64 + 8, Record{});

    // Offsets are kept in 32 bits.
    if (text.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        m_strError = "Document too large";
    } else if (!text.empty()) {
        m_table[0] = Record{};
        const int root = ParseDocument();
        if (root > 0) {
            m_table[0].firstChild = root;
            ResetPosition();
            return true;
        }
    }
    m_table[0] = Record{};
    m_nNextFree = 1;
    ResetPosition();
    return false;
}

void CXmlReader::ResetPosition()
{
    m_nMain = 0;
    m_nChild = 0;
    m_nDepth = 0;
}

bool CXmlReader::IsEmptyElement(int index) const
{
    return m_table[index].startEnd == m_table[index].contentEnd + 1;
}

bool CXmlReader::NameIs(int index, const std::string& name) const
{
    return name.empty() || GetElementName(index) == name;
}

bool CXmlReader::FindElement(const std::string& name)
{
    if (m_nNextFree <= 1)
        return false;
    int candidate = m_nMain != 0 ? m_table[m_nMain].nextSibling : m_table[0].firstChild;
    for (; candidate != 0; candidate = m_table[candidate].nextSibling) {
        if (NameIs(candidate, name)) {
            m_nMain = candidate;
            m_nChild = 0;
            return true;
        }
    }
    return false;
}

bool CXmlReader::FindChild(const std::string& name)
{
    if (m_nMain == 0 && !FindElement(std::string()))
        return false;
    if (IsEmptyElement(m_nMain))
        return false;
    int candidate = m_nChild != 0 ? m_table[m_nChild].nextSibling : m_table[m_nMain].firstChild;
    for (; candidate != 0; candidate = m_table[candidate].nextSibling) {
        if (NameIs(candidate, name)) {
            m_nChild = candidate;
            return true;
        }
    }
    return false;
}

bool CXmlReader::EnterChild()
{
    if (m_nChild == 0 && !FindChild(std::string()))
        return false;
    m_nMain = m_nChild;
    m_nChild = 0;
    ++m_nDepth;
    return true;
}

bool CXmlReader::LeaveElement()
{
    if (m_nMain == 0 || m_nDepth == 0)
        return false;
    m_nChild = m_nMain;
    m_nMain = m_table[m_nMain].parent;
    --m_nDepth;
    return true;
}

std::string CXmlReader::GetElementName(int index) const
{
    if (index <= 0 || index >= m_nNextFree)
        return {};
    Token tok;
    if (!Scan(static_cast<std::size_t>(m_table[index].startBegin) + 1, tok))
        return {};
    return TokenText(tok);
}

std::string CXmlReader::GetChildText() const
{
    const int index = m_nChild;
    if (index <= 0 || index >= m_nNextFree)
        return {};
    const Record& rec = m_table[index];
    if (rec.firstChild != 0 || IsEmptyElement(index))
        return {};
    const std::size_t begin = static_cast<std::size_t>(rec.startEnd) + 1;
    const std::size_t end = static_cast<std::size_t>(rec.contentEnd);

    // A CDATA section (after optional blanks) is the whole text; anything after it is ignored.
    Token tok;
    if (Scan(begin, tok) && TokenIs(tok, '<')) {
        const std::size_t lt = tok.begin;
        if (m_strText.compare(lt + 1, 8, "![CDATA[") == 0 && end > lt + 11) {
            const std::size_t close = m_strText.find("]]>", lt + 1);
            if (close != std::string::npos && close < end)
                return m_strText.substr(lt + 9, close - (lt + 9));
        }
    }

    static const struct {
        const char* name;
        char value;
    } kEntities[] = {{"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};
    std::string text;
    text.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        const char c = m_strText[i];
        if (c == '&') {
            bool decoded = false;
            for (const auto& entity : kEntities) {
                const std::size_t len = std::strlen(entity.name);
                if (i + 1 + len <= end && m_strText.compare(i + 1, len, entity.name) == 0) {
                    text += entity.value;
                    i += len;
                    decoded = true;
                    break;
                }
            }
            if (decoded)
                continue;
        }
        text += c;
    }
    return text;
}

} // namespace vistrel
