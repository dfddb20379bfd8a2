#include "prefixes/Vdf.h"

namespace nixora::prefixes
{
namespace
{

// Deeper nesting than any Steam file has; the limit keeps a hostile file off the stack.
constexpr int kMaxDepth = 64;

const VdfNode* findChild(const std::vector<VdfNode>& nodes, QStringView name)
{
    for (const VdfNode& node : nodes)
        if (node.key.compare(name, Qt::CaseInsensitive) == 0)
            return &node;
    return nullptr;
}

enum class TokenKind { Text, Open, Close, Condition, End };

struct Token {
    TokenKind kind = TokenKind::End;
    QString text;
};

// A recursive-descent reader over the token stream; the first error stops it.
class VdfReader
{
public:
    explicit VdfReader(QStringView text) : m_text(text) {}

    VdfDocument read()
    {
        VdfDocument doc;
        readEntries(doc.entries, 0);
        if (m_error.isEmpty() && m_token.kind == TokenKind::Close)
            fail(QStringLiteral("unexpected '}'"));
        doc.error = m_error;
        if (!doc.ok())
            doc.entries.clear();
        return doc;
    }

private:
    // Reads entries until '}' or the end of the text, leaving that token current.
    void readEntries(std::vector<VdfNode>& into, int depth)
    {
        advance();
        while (m_error.isEmpty() && m_token.kind == TokenKind::Text) {
            VdfNode node;
            node.key = m_token.text;
            advance();
            if (m_token.kind == TokenKind::Text) {
                node.value = m_token.text;
                advance();
            } else if (m_token.kind == TokenKind::Open) {
                readBlock(node, depth + 1);
            } else {
                fail(QStringLiteral("key \"%1\" has no value").arg(node.key));
                return;
            }
            if (m_token.kind == TokenKind::Condition)
                advance();
            into.push_back(std::move(node));
        }
        if (m_error.isEmpty() && m_token.kind != TokenKind::Close && m_token.kind != TokenKind::End)
            fail(QStringLiteral("expected a key"));
    }

    void readBlock(VdfNode& node, int depth)
    {
        if (depth > kMaxDepth) {
            fail(QStringLiteral("nested too deeply"));
            return;
        }
        node.isBlock = true;
        readEntries(node.children, depth);
        if (!m_error.isEmpty())
            return;
        if (m_token.kind != TokenKind::Close) {
            fail(QStringLiteral("block \"%1\" is not closed").arg(node.key));
            return;
        }
        advance();
    }

    void advance()
    {
        skipBlanksAndComments();
        if (m_pos >= m_text.size()) {
            m_token = {TokenKind::End, {}};
            return;
        }
        const QChar c = m_text[m_pos];
        if (c == u'{' || c == u'}') {
            ++m_pos;
            m_token = {c == u'{' ? TokenKind::Open : TokenKind::Close, {}};
        } else if (c == u'"') {
            readQuoted();
        } else {
            readBare();
        }
    }

    void skipBlanksAndComments()
    {
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos];
            if (c == u'\n')
                ++m_line;
            if (c.isSpace()) {
                ++m_pos;
            } else if (c == u'/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'/') {
                while (m_pos < m_text.size() && m_text[m_pos] != u'\n')
                    ++m_pos;
            } else {
                return;
            }
        }
    }

    void readQuoted()
    {
        const int startLine = m_line;
        QString out;
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            const QChar c = m_text[m_pos];
            if (c == u'"') {
                ++m_pos;
                m_token = {TokenKind::Text, out};
                return;
            }
            if (c == u'\n')
                ++m_line;
            if (c == u'\\' && m_pos + 1 < m_text.size()) {
                out += unescape(m_text[++m_pos]);
                continue;
            }
            out += c;
        }
        m_line = startLine;
        fail(QStringLiteral("unterminated string"));
    }

    // Steam writes Windows paths with doubled backslashes; an unknown escape is kept as written.
    static QString unescape(QChar c)
    {
        switch (c.unicode()) {
        case u'n':
            return QStringLiteral("\n");
        case u't':
            return QStringLiteral("\t");
        case u'\\':
            return QStringLiteral("\\");
        case u'"':
            return QStringLiteral("\"");
        default:
            return QStringLiteral("\\") + c;
        }
    }

    void readBare()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && !m_text[m_pos].isSpace() && m_text[m_pos] != u'{' &&
               m_text[m_pos] != u'}' && m_text[m_pos] != u'"')
            ++m_pos;
        const QString text = m_text.mid(start, m_pos - start).toString();
        const bool condition = text.startsWith(u'[') && text.endsWith(u']');
        m_token = {condition ? TokenKind::Condition : TokenKind::Text, text};
    }

    void fail(const QString& reason)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("line %1: %2").arg(m_line).arg(reason);
        m_token = {TokenKind::End, {}};
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    Token m_token;
    QString m_error;
};

} // namespace

const VdfNode* VdfNode::child(QStringView name) const
{
    return findChild(children, name);
}

QString VdfNode::text(QStringView name) const
{
    const VdfNode* node = child(name);
    return node && !node->isBlock ? node->value : QString();
}

const VdfNode* VdfDocument::child(QStringView name) const
{
    return findChild(entries, name);
}

VdfDocument parseVdf(QStringView text)
{
    return VdfReader(text).read();
}

} // namespace nixora::prefixes
