#include "core/settings/OrbPigger.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <memory>

namespace {

const QChar CR(u'\r');
const QChar LF(u'\n');

QString SyntaxErrorText()
{
    return QStringLiteral("Syntax error");
}

bool IsBlank(QChar c)
{
    return c.unicode() <= 32;
}

// The character at a 1-based position; NUL outside the text, so lookahead never reads past its end.
QChar At(const QString& text, int position)
{
    if (position < 1 || position > text.size())
        return QChar();
    return text.at(position - 1);
}

// The last character is never skipped, so the position stays inside a non-empty text.
void SkipBlanks(const QString& text, int& position)
{
    while (position < text.size() && IsBlank(At(text, position)))
        ++position;
}

// 1-based position of the first character at or after start that is in the set; 0 when none.
int ScanFor(const QString& text, int start, QStringView set)
{
    for (int i = qMax(start, 1); i <= text.size(); ++i) {
        if (set.contains(text.at(i - 1)))
            return i;
    }
    return 0;
}

int ScanFor(const QString& text, int start, QChar c)
{
    if (start < 1)
        start = 1;
    if (start > text.size())
        return 0;
    return text.indexOf(c, start - 1) + 1;
}

// Text between two 1-based positions, end exclusive.
QString Slice(const QString& text, int from, int to)
{
    return text.mid(from - 1, to - from);
}

const QStringView TagNameEnd = u" />\r\n\t";
const QStringView AttrNameEnd = u" =/>\r\n\t";
const QStringView UnquotedValueEnd = u" >/\n\r\t";

QString AsciiUpper(const QString& s)
{
    QString result = s;
    for (QChar& c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return result;
}

bool SameNameIgnoringCase(const QString& a, const QString& b)
{
    return AsciiUpper(a) == AsciiUpper(b);
}

QString TrimBlanks(const QString& s)
{
    int from = 0;
    int to = s.size();
    while (from < to && IsBlank(s.at(from)))
        ++from;
    while (to > from && IsBlank(s.at(to - 1)))
        --to;
    return s.mid(from, to - from);
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

bool NeedsEscape(char16_t u)
{
    if (u < 32)
        return u != 9 && u != 10 && u != 13;
    return u == u'"' || u == u'%' || u == u'<' || u == u'>';
}

// Nesting depth of the reader on this thread, counted across nodes so that skipped
// subtrees and children of other classes are counted too.
thread_local int readDepth = 0;

class DepthGuard
{
public:
    DepthGuard() { ++readDepth; }
    ~DepthGuard() { --readDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// Each CR LF, lone CR or lone LF ends a line; every line, the last included, ends in CR LF.
QString NormaliseLineBreaks(const QString& text)
{
    QString result;
    result.reserve(text.size() + text.size() / 16 + 2);
    bool lineOpen = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == CR || c == LF) {
            if (c == CR && i + 1 < text.size() && text.at(i + 1) == LF)
                ++i;
            result += CR;
            result += LF;
            lineOpen = false;
        } else {
            result += c;
            lineOpen = true;
        }
    }
    if (lineOpen) {
        result += CR;
        result += LF;
    }
    return result;
}

} // namespace

EOrbPiggerError::EOrbPiggerError(const QString& message, int position)
    : QbError(message)
    , m_position(position)
{
}

int EOrbPiggerError::Position() const
{
    return m_position;
}

TOrbPigger::TOrbPigger(TOrbPigger* parent)
    : m_indent(QStringLiteral("\r\n"))
{
    if (parent)
        SetParent(parent);
}

TOrbPigger::~TOrbPigger()
{
    // The subtree goes away with this node, so it is not re-indented on the way out.
    if (m_parent)
        m_parent->m_children.removeOne(this);
    m_parent = nullptr;
    DestroyChildren();
}

void TOrbPigger::DestroyChildren()
{
    // Each child takes itself out of the list as it is destroyed.
    while (!m_children.isEmpty())
        delete m_children.first();
}

TOrbPigger* TOrbPigger::Create(TOrbPigger* parent) const
{
    return new TOrbPigger(parent);
}

void TOrbPigger::Assign(const TOrbPigger& source)
{
    if (&source == this)
        return;
    // Clearing would destroy a source that lives inside this subtree, and copying an ancestor
    // would copy the copy as it grows; take the source out first.
    bool related = false;
    for (const TOrbPigger* p = source.m_parent; p && !related; p = p->m_parent)
        related = p == this;
    for (const TOrbPigger* p = m_parent; p && !related; p = p->m_parent)
        related = p == &source;
    if (related) {
        std::unique_ptr<TOrbPigger> copy(source.Create(nullptr));
        copy->Assign(source);
        Assign(*copy);
        return;
    }
    Clear();
    m_name = source.m_name;
    m_text = source.m_text;
    m_attrNames = source.m_attrNames;
    m_attrValues = source.m_attrValues;
    for (const TOrbPigger* sourceChild : source.m_children) {
        TOrbPigger* child = sourceChild->Create(this);
        child->Assign(*sourceChild);
    }
}

void TOrbPigger::Clear()
{
    DestroyChildren();
    m_name.clear();
    m_text.clear();
    m_attrNames.clear();
    m_attrValues.clear();
}

void TOrbPigger::SetParent(TOrbPigger* node)
{
    if (node == m_parent)
        return;
    // A node inside its own subtree would own itself: refuse instead of building a cycle.
    for (const TOrbPigger* p = node; p; p = p->m_parent) {
        if (p == this)
            throw QbError(QStringLiteral("A settings node cannot be attached to itself or to one of its descendants"));
    }
    if (m_parent)
        m_parent->m_children.removeOne(this);
    m_parent = node;
    if (m_parent)
        m_parent->m_children.append(this);
    Reindent();
}

void TOrbPigger::Reindent()
{
    if (m_parent)
        m_indent = m_parent->m_indent + QChar(u'\t');
    else
        m_indent = QStringLiteral("\r\n");
    for (TOrbPigger* child : std::as_const(m_children))
        child->Reindent();
}

void TOrbPigger::SetText(const QString& text)
{
    Clear();
    if (text.isEmpty())
        return;
    int position = 1;
    SkipBlanks(text, position);
    ReadNode(text, position);
}

QString TOrbPigger::GetText() const
{
    QString out;
    WriteTo(out);
    return out;
}

void TOrbPigger::WriteTo(QString& out) const
{
    if (m_name.isEmpty())
        return;
    out += m_indent;
    out += QChar(u'<');
    out += m_name;
    for (int i = 0; i < m_attrNames.size(); ++i) {
        out += QChar(u' ');
        out += m_attrNames.at(i);
        out += QStringLiteral("=\"");
        out += EncodeValue(m_attrValues.at(i));
        out += QChar(u'"');
    }
    if (m_children.isEmpty() && m_text.isEmpty()) {
        out += QStringLiteral("/>");
        return;
    }
    out += QChar(u'>');
    out += EncodeValue(m_text);
    for (const TOrbPigger* child : m_children)
        child->WriteTo(out);
    out += m_indent;
    out += QStringLiteral("</");
    out += m_name;
    out += QChar(u'>');
}

TOrbPigger* TOrbPigger::AddChild(const QString& name)
{
    TOrbPigger* child = Create(this);
    child->SetName(name);
    return child;
}

void TOrbPigger::SetName(const QString& name)
{
    m_name = AsciiUpper(TrimBlanks(name));
}

int TOrbPigger::AttrIndex(const QString& upperName) const
{
    return m_attrNames.indexOf(upperName);
}

QString TOrbPigger::GetAttr(const QString& name) const
{
    const int i = AttrIndex(AsciiUpper(name));
    return i < 0 ? QString() : m_attrValues.at(i);
}

void TOrbPigger::SetAttr(const QString& name, const QString& value)
{
    if (value.isEmpty()) {
        DeleteAttr(name);
        return;
    }
    const QString upper = AsciiUpper(name);
    const int i = AttrIndex(upper);
    if (i >= 0) {
        m_attrValues[i] = value;
    } else {
        m_attrNames.append(upper);
        m_attrValues.append(value);
    }
}

void TOrbPigger::DeleteAttr(const QString& name)
{
    const int i = AttrIndex(AsciiUpper(name));
    if (i < 0)
        return;
    m_attrNames.removeAt(i);
    m_attrValues.removeAt(i);
}

int TOrbPigger::ChildCount() const
{
    return int(m_children.size());
}

TOrbPigger* TOrbPigger::Child(int index) const
{
    if (index < 0 || index >= m_children.size())
        return nullptr;
    return m_children.at(index);
}

TOrbPigger* TOrbPigger::FindChild(const QString& name) const
{
    const QString upper = AsciiUpper(name);
    for (TOrbPigger* child : m_children) {
        if (child->m_name == upper)
            return child;
    }
    return nullptr;
}

TOrbPigger* TOrbPigger::FindChildByAttr(const QString& attrName, const QString& value) const
{
    for (TOrbPigger* child : m_children) {
        if (child->GetAttr(attrName).compare(value, Qt::CaseInsensitive) == 0)
            return child;
    }
    return nullptr;
}

void TOrbPigger::ReadNode(const QString& text, int& position)
{
    DepthGuard depth;
    if (readDepth > MaxDepth)
        Error(SyntaxErrorText(), position);

    // Tag name.
    const int lt = ScanFor(text, position, u'<');
    if (lt == 0)
        Error(SyntaxErrorText(), position);
    position = lt + 1;
    SkipBlanks(text, position);
    const int nameEnd = ScanFor(text, position, TagNameEnd);
    if (nameEnd == 0)
        Error(SyntaxErrorText(), position);
    SetName(Slice(text, position, nameEnd));
    position = nameEnd;

    // Attributes.
    for (;;) {
        SkipBlanks(text, position);
        const QChar c = At(text, position);
        if (c == u'/' || c == u'>')
            break;
        const int attrStart = position;
        const int attrEnd = ScanFor(text, position, AttrNameEnd);
        if (attrEnd == 0)
            Error(SyntaxErrorText(), attrStart);
        // An empty name not followed by '=' means a blank at the very end of the text:
        // nothing would advance, so this is where the tag runs out.
        if (attrEnd == attrStart && At(text, attrEnd) != u'=')
            Error(SyntaxErrorText(), attrStart);
        const QString attrName = AsciiUpper(Slice(text, attrStart, attrEnd));
        position = attrEnd;
        SkipBlanks(text, position);
        QString value;
        if (At(text, position) == u'=') {
            ++position;
            SkipBlanks(text, position);
            if (At(text, position) == u'"') {
                const int quote = position;
                const int close = ScanFor(text, quote + 1, u'"');
                if (close == 0)
                    Error(SyntaxErrorText(), quote);
                value = Slice(text, quote + 1, close);
                position = close + 1;
            } else {
                const int start = position;
                const int end = ScanFor(text, start, UnquotedValueEnd);
                if (end == 0)
                    Error(SyntaxErrorText(), start);
                value = Slice(text, start, end);
                position = end;
            }
            value = DecodeValue(value);
        }
        m_attrNames.append(attrName);
        m_attrValues.append(value);
    }

    // End of the start tag.
    SkipBlanks(text, position);
    if (At(text, position) == u'/' && At(text, position + 1) == u'>') {
        position += 2;
        return;
    }
    if (At(text, position) != u'>') {
        ++position;
        Error(SyntaxErrorText(), position);
    }
    ++position;

    // Content: text runs and child elements until an end tag.
    for (;;) {
        SkipBlanks(text, position);
        const int next = ScanFor(text, position, u'<');
        if (next == 0)
            Error(SyntaxErrorText(), position);
        if (next > position) {
            const QString run = TrimBlanks(Slice(text, position, next));
            if (!run.isEmpty()) {
                const QString decoded = DecodeValue(run);
                if (AcceptText(decoded))
                    m_text += decoded;
            }
            position = next;
        }
        if (At(text, position + 1) == u'/')
            break;

        int namePos = position + 1;
        SkipBlanks(text, namePos);
        const int childNameEnd = ScanFor(text, namePos, TagNameEnd);
        if (childNameEnd == 0)
            Error(SyntaxErrorText(), namePos);
        const QString tagName = AsciiUpper(Slice(text, namePos, childNameEnd));

        if (TOrbPigger* child = CreateChild(tagName)) {
            child->ReadNode(text, position);
            ChildAdded(child);
        } else {
            TOrbPigger skipped;
            skipped.ReadNode(text, position);
        }
    }

    // End tag.
    SkipBlanks(text, position);
    const int endTag = position;
    const QString unclosed = QStringLiteral("Unclosed tag: ") + m_name;
    if (At(text, endTag) != u'<' || At(text, endTag + 1) != u'/')
        Error(unclosed, endTag);
    position += 2;
    const int endNameEnd = ScanFor(text, position, AttrNameEnd);
    if (endNameEnd == 0 || !SameNameIgnoringCase(Slice(text, position, endNameEnd), m_name))
        Error(unclosed, endTag);
    position = endNameEnd;
    SkipBlanks(text, position);
    if (At(text, position) != u'>')
        Error(unclosed, endTag);
    ++position;
}

TOrbPigger* TOrbPigger::CreateChild(const QString& tagName)
{
    Q_UNUSED(tagName);
    return Create(this);
}

void TOrbPigger::ChildAdded(TOrbPigger* child)
{
    Q_UNUSED(child);
}

bool TOrbPigger::AcceptText(const QString& text)
{
    Q_UNUSED(text);
    return true;
}

void TOrbPigger::Error(const QString& message, int position)
{
    throw EOrbPiggerError(message, position);
}

void TOrbPigger::LoadFromStream(QIODevice& stream)
{
    if (!stream.isReadable())
        throw QbError(QStringLiteral("Cannot read the settings text: the stream is not open for reading"));
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const qint64 n = stream.read(buffer, sizeof buffer);
        if (n < 0)
            throw QbError(QStringLiteral("Cannot read the settings text: %1").arg(stream.errorString()));
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    // A NUL ends the text.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    SetText(NormaliseLineBreaks(QString::fromUtf8(bytes)));
}

void TOrbPigger::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw QbError(QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, file.errorString()));
    LoadFromStream(file);
}

void TOrbPigger::SaveToStream(QIODevice& stream) const
{
    const QByteArray bytes = GetText().toUtf8();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = stream.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            throw QbError(QStringLiteral("Cannot write the settings text: %1").arg(stream.errorString()));
        done += n;
    }
}

void TOrbPigger::SaveToFile(const QString& fileName) const
{
    // Written beside the target and renamed over it, so a failed write keeps the old file.
    QSaveFile file(fileName);
    // Settings name the databases and where they are: private, whatever the umask.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw QbError(QStringLiteral("Cannot create file \"%1\": %2").arg(fileName, file.errorString()));
    SaveToStream(file);
    if (!file.commit())
        throw QbError(QStringLiteral("Cannot write file \"%1\": %2").arg(fileName, file.errorString()));
}

QString EncodeValue(const QString& s)
{
    static const char16_t hex[] = u"0123456789ABCDEF";
    QString result;
    result.reserve(s.size());
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if (NeedsEscape(u)) {
            result += QChar(u'%');
            result += QChar(hex[(u >> 4) & 0xF]);
            result += QChar(hex[u & 0xF]);
        } else {
            result += c;
        }
    }
    return result;
}

QString DecodeValue(const QString& s)
{
    QString result;
    result.reserve(s.size());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = s.at(i);
        if (c == u'%' && i + 2 < n) {
            const int hi = HexDigit(s.at(i + 1));
            const int lo = HexDigit(s.at(i + 2));
            if (hi >= 0 && lo >= 0) {
                result += QChar(char16_t(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        // A '%' without two hex digits after it is kept as it stands.
        result += c;
    }
    return result;
}
