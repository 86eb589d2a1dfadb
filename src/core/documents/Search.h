#pragma once

#include <QString>
#include <functional>
#include <vector>

class TDatabaseConnection;

// One document found by name.
struct TSearchHit
{
    QString Id;
    QString Name;
    QString Type;
    QString Context; // in the text: a few words around the match
};

// The search of documents by name: the statement and its run. The typed text is bound as a
// parameter and used exactly as typed, blanks included; "%" and "_" in it act as wildcards.
class TDocSearch
{
public:
    enum Mode
    {
        InName = 0, // "In the document name ( *A* )"
        AtBegin = 1, // "At the begin of the document name ( A*)"
        InText = 2 // in the words of the name and the text (TextIndex); case and diacritics ignored
    };

    // "%text%" in the name, "text%" at its beginning.
    static QString Pattern(const QString& text, int mode);
    // The statement with the parameter :PATTERN. Without case sensitivity both sides go through
    // QB_UPPER (Unicode upper case; SQLite's own upper() folds ASCII only). Unless indexed is
    // false, the rows come through the name order index.
    static QString Statement(bool caseSensitive, bool indexed = true);

    // Asked now and then while the statement runs (on the thread that runs it); true ends the search.
    using StopCheck = std::function<bool()>;

    // Matching documents, ordered by name as the document list orders them; each hit's Id is
    // TDocStore::Key of its row. Raises QbError. When stop answers true, the search ends early:
    // no hits, and *stopped (if given) is set. A pattern can take the engine long on every name
    // ("%a%a%a%a%a%b"), so a window's search wants a way out.
    // In the text, the index is built first where it is missing or incomplete, and the text is
    // read as TextIndex::MatchQuery reads it; caseSensitive does not apply.
    static std::vector<TSearchHit> Run(TDatabaseConnection& connection, const QString& text, int mode,
                                       bool caseSensitive, const StopCheck& stop = {}, bool* stopped = nullptr);

    // The engine's snippet, its matches between MatchOpen and MatchClose, as shown: the markers
    // gone, and cut at a word before the first match when it starts further in, so that a
    // narrow column still shows the match.
    static constexpr QChar MatchOpen{0x01};
    static constexpr QChar MatchClose{0x02};
    static QString ShownContext(const QString& marked);
};
