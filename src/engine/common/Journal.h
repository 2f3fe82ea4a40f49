#pragma once
// Changes to several files of one table that must happen together. A small file
// beside the table, ".<table>.brisvel-journal", names them before any of them is
// made; whoever opens or writes the table next finishes or undoes what a writer
// that died left half done.
//
// Two kinds of change, in one journal:
// - replacements: new files written whole beside their targets (part files) are
//   renamed over them, and old companions removed. Once the journal is on the
//   disk the set is completed (rolled forward); before, the part files go.
// - pages written in place: the bytes about to be overwritten are kept in the
//   journal first; until the change is finished, recovery writes them back (rolled
//   back). A journal torn by a crash is ignored: nothing was overwritten yet.
//
// The writer holds a lock on the journal file from start to end, so recovery
// never touches the set of a writer that is still at work, in this process or
// another. All files of a set lie in the table's folder.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

namespace engine::io {

class FileLock;

inline constexpr char JournalMark[] = ".brisvel-journal";

// ".<table file>.brisvel-journal" beside the table.
QString journalPathFor(const QString &tablePath);

class Journal {
public:
    // Starts a set of changes to the table at tablePath (the file need not exist
    // yet). Waits boundedly for another writer of that table, then throws Locked;
    // what a dead writer left is recovered first.
    explicit Journal(const QString &tablePath);
    // Not committed: part files are removed and overwritten pages written back.
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // A recognisable name for a new file of this set (extension e.g. ".dbt").
    QString newPartPath(const QString &extension = QString()) const;
    // At commit the finished file part replaces target.
    void replace(const QString &part, const QString &target);
    // At commit target is removed (a companion the new set no longer has).
    void remove(const QString &target);
    // The bytes [offset, offset + size) of file are about to be overwritten in
    // place: keeps them (and the file's length) for rolling back.
    void keepBefore(const QString &file, qint64 offset, qint64 size);

    // Puts the journal on the disk; from here on the kept pages may be
    // overwritten. commit() calls it when it was not called.
    void begin();
    // Makes the replacements, syncs the files written in place and ends the set.
    // Refused before anything was renamed when a target is not a plain file.
    void commit();

    // Finishes what a dead writer left for this table; nothing when the journal
    // is missing or its writer is at work. Throws when a found set cannot be
    // completed (the table must then not be used).
    static void recover(const QString &tablePath);
    // recover() for every table of the folder with a journal, and removal of the
    // part files whose writer is gone.
    static void recoverFolder(const QString &folder);

    struct Entry; // one named change, as the journal holds it

private:
    QString m_table;
    QString m_path;
    int m_fd = -1;
    std::unique_ptr<FileLock> m_lock;
    std::vector<Entry> m_entries;
    bool m_begun = false;
    bool m_done = false;
};

} // namespace engine::io
