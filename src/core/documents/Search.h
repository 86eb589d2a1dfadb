#pragma once

#include <QString>
#include <vector>

class TDatabaseConnection;

// One document found by name.
struct TSearchHit
{
    QString Id;
    QString Name;
    QString Type;
};

// The search of documents by name: the statement and its run. The typed text is bound as a
// parameter and used exactly as typed, blanks included; "%" and "_" in it act as wildcards.
class TDocSearch
{
public:
    enum Mode
    {
        InName = 0, // "In the document name ( *A* )"
        AtBegin = 1 // "At the begin of the document name ( A*)"
    };

    // "%text%" in the name, "text%" at its beginning.
    static QString Pattern(const QString& text, int mode);
    // The statement with the parameter :PATTERN. Without case sensitivity both sides go through
    // QB_UPPER (Unicode upper case; SQLite's own upper() folds ASCII only).
    static QString Statement(bool caseSensitive);

    // Matching documents, ordered by name as the document list orders them. Raises QbError.
    static std::vector<TSearchHit> Run(TDatabaseConnection& connection, const QString& text, int mode,
                                       bool caseSensitive);
};
