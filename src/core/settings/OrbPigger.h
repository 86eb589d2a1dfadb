#pragma once

#include "core/common/QbError.h"

#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// Raised by the markup parser; Position is the 1-based character index in the parsed text.
class EOrbPiggerError : public QbError
{
public:
    EOrbPiggerError(const QString& message, int position);
    int Position() const;

private:
    int m_position;
};

// A node of the markup tree the settings are kept in: an upper-case name, ordered string
// attributes, concatenated text content and owned children.
class TOrbPigger
{
public:
    // Deeper nesting than this is refused as a syntax error, so a hostile file cannot
    // exhaust the stack of the recursive reader.
    static constexpr int MaxDepth = 256;

    explicit TOrbPigger(TOrbPigger* parent = nullptr);
    virtual ~TOrbPigger();
    TOrbPigger(const TOrbPigger&) = delete;
    TOrbPigger& operator=(const TOrbPigger&) = delete;

    virtual TOrbPigger* Create(TOrbPigger* parent) const;
    virtual void Assign(const TOrbPigger& source);
    virtual void Clear();
    virtual void SetParent(TOrbPigger* node);
    virtual void SetText(const QString& text);
    virtual QString GetText() const;

    TOrbPigger* AddChild(const QString& name);
    void SetName(const QString& name);
    const QString& Name() const { return m_name; }
    const QString& Text() const { return m_text; }
    const QString& Indent() const { return m_indent; }
    TOrbPigger* Parent() const { return m_parent; }
    const QStringList& AttrNames() const { return m_attrNames; }
    const QStringList& AttrValues() const { return m_attrValues; }

    QString GetAttr(const QString& name) const;
    void SetAttr(const QString& name, const QString& value);
    void DeleteAttr(const QString& name);

    int ChildCount() const;
    TOrbPigger* Child(int index) const;
    TOrbPigger* FindChild(const QString& name) const;
    TOrbPigger* FindChildByAttr(const QString& attrName, const QString& value) const;

    void LoadFromStream(QIODevice& stream);
    void LoadFromFile(const QString& fileName);
    void SaveToStream(QIODevice& stream) const;
    void SaveToFile(const QString& fileName) const;

protected:
    virtual void ReadNode(const QString& text, int& position);
    // The node for a child element met while reading; null skips that element and its subtree.
    virtual TOrbPigger* CreateChild(const QString& tagName);
    virtual void ChildAdded(TOrbPigger* child);
    virtual bool AcceptText(const QString& text);
    // Overrides must throw: the reader does not continue after a fault.
    [[noreturn]] virtual void Error(const QString& message, int position);

private:
    void DestroyChildren();
    void Reindent();
    void WriteTo(QString& out) const;
    int AttrIndex(const QString& upperName) const;

    QString m_name;
    QString m_text;
    QString m_indent;
    TOrbPigger* m_parent = nullptr;
    QStringList m_attrNames;
    QStringList m_attrValues;
    QList<TOrbPigger*> m_children;
};

// %XX escapes for control characters and the markup's own delimiters.
QString EncodeValue(const QString& s);
QString DecodeValue(const QString& s);
