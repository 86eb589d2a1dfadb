#include "core/settings/OrbPigger.h"

#include "support/FailDevice.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The text that SetText must reject, with the message and 1-based position expected.
struct BadText
{
    const char* text;
    const char* message;
    int position;
};

void ExpectError(TOrbPigger& node, const QString& text, const QString& message, int position)
{
    try {
        node.SetText(text);
        ADD_FAILURE() << "accepted: " << text.toStdString();
    } catch (const EOrbPiggerError& e) {
        EXPECT_EQ(e.Message(), message) << text.toStdString();
        EXPECT_EQ(e.Position(), position) << text.toStdString();
    }
}

const char* const SettingsExample = "\r\n<SETTINGS ALIGN=\"1\">\r\n\t<BASE_LIST>\r\n\t\t<BASE NAME=\"x\" PATH=\"y\"/>"
                                    "\r\n\t</BASE_LIST>\r\n</SETTINGS>";

// Records what the reader's hooks see; refuses SKIP elements and the content run "secret".
class TRecordingNode : public TOrbPigger
{
public:
    explicit TRecordingNode(TOrbPigger* parent = nullptr, QStringList* log = nullptr)
        : TOrbPigger(parent)
        , m_log(log)
    {
    }
    TOrbPigger* Create(TOrbPigger* parent) const override { return new TRecordingNode(parent, m_log); }

protected:
    TOrbPigger* CreateChild(const QString& tagName) override
    {
        if (tagName == QStringLiteral("SKIP"))
            return nullptr;
        return Create(this);
    }
    void ChildAdded(TOrbPigger* child) override
    {
        if (m_log)
            m_log->append(child->Name());
    }
    bool AcceptText(const QString& text) override { return text != QStringLiteral("secret"); }

private:
    QStringList* m_log;
};

} // namespace

TEST(OrbPigger, ReadsTagsAttributesAndContent)
{
    TOrbPigger root;
    root.SetText(S("<a b=1/>"));
    EXPECT_EQ(root.Name(), S("A"));
    EXPECT_EQ(root.AttrNames(), QStringList{S("B")});
    EXPECT_EQ(root.GetAttr(S("b")), S("1"));

    root.SetText(S("< TAG  A = \"v\" />"));
    EXPECT_EQ(root.Name(), S("TAG"));
    EXPECT_EQ(root.GetAttr(S("a")), S("v"));

    // Quoted values keep blanks, line breaks, '/', '>' and '='; a name without '=' has an empty value.
    root.SetText(S("<n q=\"a /> =\r\nb\" flag other=x>  one  <c/>\r\n two\t</N>"));
    EXPECT_EQ(root.AttrNames(), (QStringList{S("Q"), S("FLAG"), S("OTHER")}));
    EXPECT_EQ(root.AttrValues(), (QStringList{S("a /> =\r\nb"), QString(), S("x")}));
    EXPECT_EQ(root.Text(), S("onetwo"));
    ASSERT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(root.Child(0)->Name(), S("C"));

    // End-tag names compare without regard to case; duplicates survive parsing, first one wins.
    root.SetText(S("<A X=\"1\" x=\"2\"><B/></a>"));
    EXPECT_EQ(root.AttrNames(), (QStringList{S("X"), S("X")}));
    EXPECT_EQ(root.GetAttr(S("X")), S("1"));

    // Only the first element counts; anything before its '<' or after it is ignored.
    root.SetText(S("junk > text <first k=\"v\"/> <second/> </broken"));
    EXPECT_EQ(root.Name(), S("FIRST"));
    EXPECT_EQ(root.ChildCount(), 0);

    // Escapes in content and values are decoded; ASCII letters alone are upper-cased in names.
    root.SetText(S("<ä v=\"%3C%22%25%3E\">%3Cb%3E</ä>"));
    EXPECT_EQ(root.Name(), S("ä"));
    EXPECT_EQ(root.GetAttr(S("V")), S("<\"%>"));
    EXPECT_EQ(root.Text(), S("<b>"));

    root.SetText(QString());
    EXPECT_TRUE(root.Name().isEmpty());
    EXPECT_TRUE(root.AttrNames().isEmpty());
    EXPECT_EQ(root.GetText(), QString());
}

TEST(OrbPigger, ReportsFaultsWithMessageAndPosition)
{
    const BadText rows[] = {
        {"<A B=\"x>", "Syntax error", 6}, // no closing quote: the opening quote's position
        {"<A><B/></C>", "Unclosed tag: A", 8},
        {"<A><B/></A", "Unclosed tag: A", 8}, // end tag runs out
        {"<a></a x>", "Unclosed tag: A", 4},
        {"<A>\r\n  <B></X></A>", "Unclosed tag: B", 11},
        {"<A>", "Syntax error", 4}, // no content '<' at all
        {"<A>text", "Syntax error", 4},
        {"no tag here", "Syntax error", 1},
        {"   ", "Syntax error", 3},
        {"<ABC", "Syntax error", 2}, // tag name without delimiter
        {"<A  BCD", "Syntax error", 5}, // attribute name without delimiter
        {"<A B=xyz", "Syntax error", 6}, // unquoted value without delimiter
        {"<A B=", "Syntax error", 6},
        {"<A ", "Syntax error", 3}, // a blank at the very end must not spin the attribute loop
        {"<A B=\"1\" \t", "Syntax error", 10},
        {"<A/ >", "Syntax error", 4},
        {"<A x=\"1\"/?", "Syntax error", 10},
        {"<A><B x=\"1>\"></A>", "Unclosed tag: B", 14}, // '>' inside quotes does not end the tag
    };
    TOrbPigger root;
    for (const BadText& row : rows)
        ExpectError(root, S(row.text), S(row.message), row.position);

    // Nodes read before the fault stay in place.
    EXPECT_THROW(root.SetText(S("<A><B/><C k=\"v\"><D>")), EOrbPiggerError);
    EXPECT_EQ(root.Name(), S("A"));
    ASSERT_EQ(root.ChildCount(), 2);
    EXPECT_EQ(root.Child(1)->GetAttr(S("K")), S("v"));
    ASSERT_EQ(root.Child(1)->ChildCount(), 1);
    EXPECT_EQ(root.Child(1)->Child(0)->Name(), S("D"));
}

TEST(OrbPigger, NestingDepthIsBounded)
{
    auto nested = [](int depth) { return S("<a>").repeated(depth) + S("</a>").repeated(depth); };
    TOrbPigger root;
    root.SetText(nested(TOrbPigger::MaxDepth));
    int depth = 1;
    for (const TOrbPigger* n = &root; n->ChildCount() > 0; n = n->Child(0))
        ++depth;
    EXPECT_EQ(depth, TOrbPigger::MaxDepth);
    EXPECT_EQ(root.GetText().count(S("<A")), TOrbPigger::MaxDepth);

    // One level more fails at the '<' of the element that is too deep.
    ExpectError(root, nested(TOrbPigger::MaxDepth + 1), S("Syntax error"), TOrbPigger::MaxDepth * 3 + 1);

    // A hostile file of 100,000 open tags ends in an error, not in a stack overflow.
    QBuffer hostile;
    hostile.setData(QByteArray("<a>").repeated(100000));
    ASSERT_TRUE(hostile.open(QIODevice::ReadOnly));
    try {
        root.LoadFromStream(hostile);
        ADD_FAILURE() << "accepted";
    } catch (const EOrbPiggerError& e) {
        EXPECT_EQ(e.Position(), TOrbPigger::MaxDepth * 3 + 1);
    }

    // Skipped subtrees count as well.
    QStringList log;
    TRecordingNode recording(nullptr, &log);
    ExpectError(recording, S("<r>") + S("<skip>").repeated(100000), S("Syntax error"),
                3 + (TOrbPigger::MaxDepth - 1) * 6 + 1);
}

TEST(OrbPigger, WritesTheSettingsExampleByteForByte)
{
    TOrbPigger root;
    root.SetName(S("settings"));
    root.SetAttr(S("align"), S("1"));
    TOrbPigger* base = root.AddChild(S("BASE_LIST"))->AddChild(S(" base "));
    base->SetAttr(S("NAME"), S("x"));
    base->SetAttr(S("PATH"), S("y"));
    const QString expected = S(SettingsExample);
    EXPECT_EQ(root.GetText(), expected);

    // Reading it back gives the same tree, and so the same text.
    TOrbPigger copy;
    copy.SetText(expected);
    EXPECT_EQ(copy.Name(), S("SETTINGS"));
    EXPECT_TRUE(copy.Text().isEmpty());
    ASSERT_NE(copy.FindChild(S("base_list")), nullptr);
    EXPECT_EQ(copy.FindChild(S("base_list"))->FindChild(S("BASE"))->AttrValues(), (QStringList{S("x"), S("y")}));
    EXPECT_EQ(copy.GetText(), expected);

    // Through a file: the same bytes, read back unchanged.
    const QString file = qbtest::FreshFolder() + S("/настройки one.SET");
    root.SaveToFile(file);
    EXPECT_EQ(qbtest::ReadAll(file), expected.toUtf8());
    TOrbPigger fromFile;
    fromFile.LoadFromFile(file);
    EXPECT_EQ(fromFile.GetText(), expected);

    // Content goes straight after '>' and before the children; empty values are written as "".
    TOrbPigger node;
    node.SetText(S("<A><B/>  tail  </A>"));
    node.Child(0)->SetAttr(S("E"), S("v"));
    EXPECT_EQ(node.GetText(), S("\r\n<A>tail\r\n\t<B E=\"v\"/>\r\n</A>"));
    node.SetText(S("<A e=\"\" f=/>"));
    EXPECT_EQ(node.GetText(), S("\r\n<A E=\"\" F=\"\"/>"));
}

TEST(OrbPigger, UnnamedNodesWriteNothing)
{
    TOrbPigger root;
    EXPECT_EQ(root.GetText(), QString());
    const QString file = qbtest::FreshFolder() + S("/empty.SET");
    qbtest::WriteAll(file, "old content");
    root.SaveToFile(file);
    EXPECT_EQ(qbtest::ReadAll(file), QByteArray());

    // A child without a name is left out together with its subtree.
    root.SetName(S("R"));
    TOrbPigger* unnamed = root.AddChild(QString());
    unnamed->AddChild(S("INNER"));
    EXPECT_EQ(root.GetText(), S("\r\n<R>\r\n</R>"));
}

TEST(OrbPigger, EscapesRoundTrip)
{
    const QString awkward = S("q\"p%l<g>c") + QChar(1) + QChar(0) + QChar(31) + S("&'=/ ü");
    EXPECT_EQ(EncodeValue(awkward), S("q%22p%25l%3Cg%3Ec%01%00%1F&'=/ ü"));
    EXPECT_EQ(DecodeValue(EncodeValue(awkward)), awkward);
    EXPECT_EQ(EncodeValue(S("a\tb\r\nc")), S("a\tb\r\nc"));

    // A '%' without two hex digits after it is kept; nothing is read past the end.
    EXPECT_EQ(DecodeValue(S("%")), S("%"));
    EXPECT_EQ(DecodeValue(S("ab%4")), S("ab%4"));
    EXPECT_EQ(DecodeValue(S("%G1%41%4a")), S("%G1AJ"));
    EXPECT_EQ(DecodeValue(QString()), QString());

    TOrbPigger root;
    root.SetName(S("R"));
    root.SetAttr(S("V"), awkward);
    root.SetAttr(S("BREAKS"), S("a\tb\nc\rd\r\ne"));
    EXPECT_TRUE(root.GetText().contains(S("BREAKS=\"a\tb\nc\rd\r\ne\"")));
    TOrbPigger copy;
    copy.SetText(root.GetText());
    EXPECT_EQ(copy.GetAttr(S("V")), awkward);
    EXPECT_EQ(copy.GetAttr(S("BREAKS")), S("a\tb\nc\rd\r\ne"));

    // From a stream, lone CRs and LFs become CR LF.
    QBuffer buffer;
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    root.SaveToStream(buffer);
    buffer.seek(0);
    copy.LoadFromStream(buffer);
    EXPECT_EQ(copy.GetAttr(S("V")), awkward);
    EXPECT_EQ(copy.GetAttr(S("BREAKS")), S("a\tb\r\nc\r\nd\r\ne"));
}

TEST(OrbPigger, StreamTextIsNormalisedBeforePositionsAreCounted)
{
    auto load = [](TOrbPigger& node, const QByteArray& bytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        node.LoadFromStream(buffer);
    };
    TOrbPigger root;
    // LF-only: each line break counts two characters once normalised.
    try {
        load(root, "<A>\n<B/>\n</C>");
        ADD_FAILURE() << "accepted";
    } catch (const EOrbPiggerError& e) {
        EXPECT_EQ(e.Message(), S("Unclosed tag: A"));
        EXPECT_EQ(e.Position(), 12);
    }
    // A NUL ends the text.
    load(root, QByteArray("<A k=\"v\"/>\0<ignored", 20));
    EXPECT_EQ(root.GetAttr(S("k")), S("v"));
    EXPECT_THROW(load(root, QByteArray("<A>\0</A>", 8)), EOrbPiggerError);

    // UTF-8 text and a content run holding a lone CR.
    load(root, "<A>\xd0\xb4\xd0\xb0\rok</A>");
    EXPECT_EQ(root.Text(), S("да\r\nok"));
}

TEST(OrbPigger, AttributesAndLookups)
{
    TOrbPigger root;
    root.SetName(S("  \tbäse_list\x01 "));
    EXPECT_EQ(root.Name(), S("BäSE_LIST"));

    root.SetAttr(S("a"), S("1"));
    root.SetAttr(S("B"), S("2"));
    root.SetAttr(S("A"), S("3")); // replaced in place
    EXPECT_EQ(root.AttrNames(), (QStringList{S("A"), S("B")}));
    EXPECT_EQ(root.AttrValues(), (QStringList{S("3"), S("2")}));
    root.SetAttr(S("a"), QString()); // empty value removes
    EXPECT_EQ(root.AttrNames(), QStringList{S("B")});
    EXPECT_EQ(root.GetAttr(S("A")), QString());
    root.DeleteAttr(S("missing"));
    root.DeleteAttr(S("b"));
    EXPECT_TRUE(root.AttrNames().isEmpty());
    EXPECT_TRUE(root.AttrValues().isEmpty());

    TOrbPigger* first = root.AddChild(S("base"));
    first->SetAttr(S("NAME"), S("Main Docs"));
    TOrbPigger* second = root.AddChild(S("BASE"));
    second->SetAttr(S("NAME"), S("Архив"));
    root.AddChild(S("other"));
    EXPECT_EQ(root.FindChild(S("Base")), first);
    EXPECT_EQ(root.FindChild(S("OTHER")), root.Child(2));
    EXPECT_EQ(root.FindChild(S("none")), nullptr);
    EXPECT_EQ(root.FindChildByAttr(S("name"), S("MAIN docs")), first);
    EXPECT_EQ(root.FindChildByAttr(S("NAME"), S("архив")), second);
    EXPECT_EQ(root.FindChildByAttr(S("NAME"), S("Main")), nullptr);
    EXPECT_EQ(root.Child(-1), nullptr);
    EXPECT_EQ(root.Child(root.ChildCount()), nullptr);

    // A destroyed child leaves its parent's list; Clear empties everything but the indent.
    delete first;
    EXPECT_EQ(root.ChildCount(), 2);
    EXPECT_EQ(root.Child(0), second);
    root.SetText(S("<X k=\"v\">t<Y/></X>"));
    root.Clear();
    EXPECT_TRUE(root.Name().isEmpty());
    EXPECT_TRUE(root.Text().isEmpty());
    EXPECT_TRUE(root.AttrNames().isEmpty());
    EXPECT_EQ(root.ChildCount(), 0);
    EXPECT_EQ(root.Indent(), S("\r\n"));
}

TEST(OrbPigger, SetParentReindentsTheSubtree)
{
    TOrbPigger root;
    root.SetName(S("R"));
    TOrbPigger* a = root.AddChild(S("A"));
    TOrbPigger* b = a->AddChild(S("B"));
    TOrbPigger* c = b->AddChild(S("C"));
    TOrbPigger* other = root.AddChild(S("O"));
    EXPECT_EQ(c->Indent(), S("\r\n\t\t\t"));

    a->SetParent(nullptr);
    std::unique_ptr<TOrbPigger> owned(a);
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(a->Indent(), S("\r\n"));
    EXPECT_EQ(b->Indent(), S("\r\n\t"));
    EXPECT_EQ(c->Indent(), S("\r\n\t\t"));
    EXPECT_EQ(a->GetText(), S("\r\n<A>\r\n\t<B>\r\n\t\t<C/>\r\n\t</B>\r\n</A>"));

    // A node cannot move into its own subtree; nothing changes when it is refused.
    EXPECT_THROW(a->SetParent(c), QbError);
    EXPECT_THROW(a->SetParent(a), QbError);
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(c->ChildCount(), 0);

    a->SetParent(other);
    owned.release();
    EXPECT_EQ(other->Child(0), a);
    EXPECT_EQ(c->Indent(), S("\r\n\t\t\t\t"));
    a->SetParent(other); // already there: no second entry
    EXPECT_EQ(other->ChildCount(), 1);

    // Moving a child between parents appends it at the end.
    b->SetParent(&root);
    EXPECT_EQ(root.Child(1), b);
    EXPECT_EQ(a->ChildCount(), 0);
    EXPECT_EQ(c->Indent(), S("\r\n\t\t"));
}

TEST(OrbPigger, AssignMakesAnIndependentDeepCopy)
{
    QStringList log;
    TRecordingNode source(nullptr, &log);
    source.SetText(S("<S a=\"1\">text<C1 x=\"y\"><G/></C1><C2/></S>"));
    log.clear();

    TOrbPigger target;
    target.SetText(S("<OLD><GONE/></OLD>"));
    target.Assign(source);
    EXPECT_EQ(target.GetText(), source.GetText());
    // Children are made by each source child's own class.
    EXPECT_NE(dynamic_cast<TRecordingNode*>(target.Child(0)), nullptr);
    EXPECT_EQ(target.Child(0)->Child(0)->Indent(), S("\r\n\t\t"));

    const QString before = source.GetText();
    target.Child(0)->SetAttr(S("X"), S("changed"));
    target.Child(0)->Child(0)->AddChild(S("NEW"));
    target.SetAttr(S("A"), QString());
    delete target.Child(1);
    EXPECT_EQ(source.GetText(), before);
    source.Clear();
    EXPECT_EQ(target.Child(0)->Child(0)->Child(0)->Name(), S("NEW"));

    // Assigning from itself or from a node inside its own subtree is safe.
    target.Assign(target);
    EXPECT_EQ(target.Name(), S("S"));
    target.Assign(*target.Child(0));
    EXPECT_EQ(target.Name(), S("C1"));
    EXPECT_EQ(target.GetAttr(S("X")), S("changed"));
    ASSERT_EQ(target.ChildCount(), 1);
    EXPECT_EQ(target.Child(0)->Name(), S("G"));
    EXPECT_EQ(target.Child(0)->Indent(), S("\r\n\t"));

    // ...and so is a node taking a copy of one of its ancestors.
    TOrbPigger root;
    root.SetText(S("<R a=\"1\"><K b=\"2\"/><L/></R>"));
    root.Child(0)->Assign(root);
    EXPECT_EQ(root.GetText(),
              S("\r\n<R A=\"1\">\r\n\t<R A=\"1\">\r\n\t\t<K B=\"2\"/>\r\n\t\t<L/>\r\n\t</R>\r\n\t<L/>\r\n</R>"));
}

TEST(OrbPigger, ReaderHooksSkipElementsAndDropText)
{
    QStringList log;
    TRecordingNode root(nullptr, &log);
    root.SetText(S("<R>keep<SKIP a=\"1\"><X/>inner<Y>deep</Y></SKIP>secret<C>secret</C>more</R>"));
    EXPECT_EQ(root.Text(), S("keepmore"));
    ASSERT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(root.Child(0)->Name(), S("C"));
    EXPECT_TRUE(root.Child(0)->Text().isEmpty());
    EXPECT_NE(dynamic_cast<TRecordingNode*>(root.Child(0)), nullptr);
    EXPECT_EQ(log, QStringList{S("C")});

    // A fault inside a skipped element is still a fault of the text.
    ExpectError(root, S("<R><SKIP><X></SKIP></R>"), S("Unclosed tag: X"), 13);
}

TEST(OrbPigger, FilesAndDevicesReportFailures)
{
    TOrbPigger root;
    root.SetText(S(SettingsExample));
    const QByteArray bytes = root.GetText().toUtf8();

    for (qint64 limit : {qint64(0), qint64(1), qint64(10), bytes.size() - 1}) {
        qbtest::FailDevice device(limit);
        ASSERT_TRUE(device.open(QIODevice::WriteOnly));
        EXPECT_THROW(root.SaveToStream(device), QbError) << limit;
        EXPECT_EQ(device.BytesWritten(), limit);
    }
    qbtest::FailDevice roomy(bytes.size());
    ASSERT_TRUE(roomy.open(QIODevice::WriteOnly));
    root.SaveToStream(roomy);
    EXPECT_EQ(roomy.data(), bytes);

    // A read failure is not a syntax error, and the tree keeps its content.
    qbtest::FailDevice shortRead(10);
    shortRead.setData(bytes);
    ASSERT_TRUE(shortRead.open(QIODevice::ReadOnly));
    try {
        root.LoadFromStream(shortRead);
        ADD_FAILURE() << "accepted";
    } catch (const EOrbPiggerError&) {
        ADD_FAILURE() << "reported as a syntax error";
    } catch (const QbError&) {
    }
    EXPECT_EQ(root.GetText(), S(SettingsExample));
    QBuffer closed;
    EXPECT_THROW(root.LoadFromStream(closed), QbError);

    const QString folder = qbtest::FreshFolder();
    EXPECT_THROW(root.LoadFromFile(folder + S("/missing.SET")), QbError);
    EXPECT_EQ(root.GetText(), S(SettingsExample));
    EXPECT_THROW(root.SaveToFile(folder + S("/no such folder/x.SET")), QbError);

    // Saving replaces an existing file completely.
    const QString file = folder + S("/quietbox.SET");
    qbtest::WriteAll(file, QByteArray(5000, 'z'));
    root.SaveToFile(file);
    EXPECT_EQ(qbtest::ReadAll(file), bytes);
}
