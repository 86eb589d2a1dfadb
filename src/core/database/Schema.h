#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The document table Docs and the anchor table anch.
namespace Schema {

// Text column widths, in characters; longer texts are cut to them when stored.
constexpr int IdWidth = 32;
constexpr int TypeWidth = 32;
constexpr int NameWidth = 64;
constexpr int DscWidth = 128;
constexpr int AnchorIdWidth = 32;

// The statement lines that create Docs (with its index on Doc_name) in a new database,
// for RunSql on the new database folder.
QStringList DocsTableLines();

// RunSql(DocsTableLines(), folder, show): creates <folder>/Docs.db holding an empty Docs.
// On failure `show` gets the message and the result is false.
bool CreateDocsTable(const QString& folder, const std::function<void(const QString&)>& show = {});

// `text` cut to at most `width` characters (code points; a surrogate pair is never split).
QString CutToWidth(const QString& text, int width);

// <per-user data folder>/anch.db
QString AnchorTablePath();
// Creates the table anch (one column anch_id, 32 characters) afresh and empty in the
// per-user data folder. Raises QbError on failure.
void CreateAnchorTable();

} // namespace Schema
