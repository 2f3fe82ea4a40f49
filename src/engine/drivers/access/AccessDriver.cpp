// glib and mdbtools first: glib's headers use identifiers Qt defines as macros,
// and mdbtools.h includes glib inside extern "C", where glib's C++ parts fail.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include "AccessDriver.h"

#include "EngineError.h"
#include "ValueText.h"

#include <QCache>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUuid>
#include <QtEndian>
#include <QElapsedTimer>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace engine {

namespace {

// mdbtools writes English warnings straight to the C library's stderr while it
// reads a damaged file ("warning: Invalid data location detected in
// mdb_crack_row..."); the caller gets a German EngineError instead. While a
// guard lives, file descriptor 2 points at /dev/null. The stream itself stays
// open, so another thread writing to stderr meanwhile loses its text but never
// meets a closed stream. Guards nest and may be taken from several threads.
class MutedStderr {
public:
    MutedStderr()
    {
        const std::lock_guard<std::mutex> lock(mutex());
        if (depth()++ == 0) {
            fflush(stderr);
            saved() = dup(STDERR_FILENO);
            const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (saved() >= 0 && null >= 0)
                dup2(null, STDERR_FILENO);
            if (null >= 0)
                close(null);
        }
    }
    ~MutedStderr()
    {
        const std::lock_guard<std::mutex> lock(mutex());
        if (--depth() == 0 && saved() >= 0) {
            fflush(stderr);
            dup2(saved(), STDERR_FILENO);
            close(saved());
            saved() = -1;
        }
    }
    MutedStderr(const MutedStderr &) = delete;
    MutedStderr &operator=(const MutedStderr &) = delete;

private:
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static int &depth()
    {
        static int d = 0;
        return d;
    }
    static int &saved()
    {
        static int fd = -1;
        return fd;
    }
};

constexpr int OffsetMask = 0x1fff;  // a row offset's low bits; the high bits are flags
constexpr int LongValueHeader = 12; // memo/OLE field: length+flags, page/row, reserved

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

EngineError damaged(const QString &path, const QString &what)
{
    return EngineError(ErrorKind::Damaged, QStringLiteral("Die Access-Datenbank %1 ist beschädigt: %2.").arg(native(path), what));
}

QString readOnlyText(const QString &path)
{
    return QStringLiteral("Access-Datenbanken können nur gelesen werden (%1).").arg(native(path));
}

// mdbtools reads its character sets from the environment when a file is opened:
// names and text come out as UTF-8, Jet 3 text is taken as Windows-1252 (the
// files do not say their code page) unless the user has chosen another.
QByteArray configureCharsets()
{
    static std::once_flag once;
    static QByteArray charset;
    std::call_once(once, [] {
        qputenv("MDBICONV", "UTF-8");
        if (qEnvironmentVariableIsEmpty("MDB_JET3_CHARSET"))
            qputenv("MDB_JET3_CHARSET", "CP1252");
        charset = qgetenv("MDB_JET3_CHARSET");
    });
    return charset;
}

struct Version {
    int jet = 0;      // the header's version byte
    int pageSize = 0;
};

// Checks what mdbtools would otherwise take on trust: the signature, the
// version byte and a length of whole pages (a cut-off copy reads as garbage).
Version checkFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Access-Datenbank %1 gibt es nicht.").arg(native(path)));
    if (!info.isFile())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("%1 ist keine Datei, sondern ein Ordner.").arg(native(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Access-Datenbank %1 lässt sich nicht öffnen: %2.")
                              .arg(native(path), file.errorString()));
    const QByteArray head = file.read(0x20);
    const bool jet = head.size() == 0x20 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4))
        && (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
    if (!jet)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Access-Datenbank.").arg(native(path)));
    Version v;
    v.jet = static_cast<unsigned char>(head.at(0x14));
    if (v.jet > MDB_VER_ACCDB_2019)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Access-Datenbank %1 hat eine unbekannte Version (%2).")
                              .arg(native(path))
                              .arg(v.jet));
    v.pageSize = v.jet == MDB_VER_JET3 ? 2048 : 4096;
    if (file.size() < 3 * v.pageSize || file.size() % v.pageSize != 0)
        throw damaged(path, QStringLiteral("die Datei ist unvollständig (%1 Bytes sind keine ganze Zahl von Seiten zu %2 Bytes)")
                                .arg(file.size())
                                .arg(v.pageSize));
    return v;
}

// Where a row lives: mdbtools reads rows only in file order, so the place of
// every live row is noted once (page and row number), values are decoded when
// they are asked for.
struct RowPlace {
    quint32 page;
    quint16 row;
    quint16 unused = 0; // no padding of unknown bytes goes through the trial's pipe
};
using RowPlaces = std::vector<RowPlace>;

// The user tables of a catalog, as the parent and the trial child both see them.
QList<MdbCatalogEntry *> userTablesOf(MdbHandle *mdb)
{
    QList<MdbCatalogEntry *> out;
    if (!mdb || !mdb->catalog)
        return out;
    for (guint i = 0; i < mdb->catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry && entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            out << entry;
    }
    return out;
}

QString entryName(const MdbCatalogEntry *entry)
{
    return QString::fromUtf8(entry->object_name, qstrnlen(entry->object_name, sizeof entry->object_name));
}

// The table of that name: the exact spelling first, then (as Access compares
// names) without regard to case.
MdbCatalogEntry *findTable(const QList<MdbCatalogEntry *> &tables, const QString &name)
{
    for (MdbCatalogEntry *entry : tables)
        if (entryName(entry) == name)
            return entry;
    for (MdbCatalogEntry *entry : tables)
        if (entryName(entry).compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return nullptr;
}

// Reads every row of the table in file order and notes where each live one is.
// The page in the buffer is the one mdbtools last read (cur_phys_pg runs one
// ahead when it falls back to reading page by page).
RowPlaces walkRows(MdbHandle *mdb, MdbTableDef *table)
{
    RowPlaces rows;
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        if (table->cur_row == 0)
            continue;
        rows.push_back({mdb->cur_pg, static_cast<quint16>(table->cur_row - 1), 0});
    }
    return rows;
}

// What a trial found: the catalog reads, and for a table whether it was found
// and where its rows are.
struct Trial {
    bool tableFound = false;
    RowPlaces rows;
};

// Trials are kept for the life of the process, by the file's identity (device,
// inode), size and change times and by the table's name: a reopened table is
// not tried again, a changed file is. A file changed within the last two
// seconds is not kept, since a second change in the same clock tick would
// leave the times as they were.
class TrialRecord {
public:
    struct Key {
        dev_t device;
        ino_t inode;
        off_t size;
        qint64 modified;
        qint64 changed;
        QString table;
        bool operator==(const Key &) const = default;
    };

    static std::optional<Key> keyOf(const QString &path, const QString &table)
    {
        struct stat st {};
        if (stat(QFile::encodeName(path).constData(), &st) != 0)
            return std::nullopt;
        const qint64 modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        const qint64 changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        const qint64 nowNs = qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
        if (nowNs - std::max(modified, changed) < 2000000000LL)
            return std::nullopt;
        return Key{st.st_dev, st.st_ino, st.st_size, modified, changed, table};
    }

    static std::shared_ptr<const Trial> find(const Key &key)
    {
        const std::lock_guard<std::mutex> lock(mutex());
        for (const auto &entry : entries())
            if (entry.first == key)
                return entry.second;
        return nullptr;
    }

    static void keep(const Key &key, std::shared_ptr<const Trial> trial)
    {
        const std::lock_guard<std::mutex> lock(mutex());
        auto &list = entries();
        // A few recent tables; the oldest goes first.
        if (list.size() >= 16)
            list.erase(list.begin());
        list.emplace_back(key, std::move(trial));
    }

private:
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::pair<Key, std::shared_ptr<const Trial>>> &entries()
    {
        static std::vector<std::pair<Key, std::shared_ptr<const Trial>>> list;
        return list;
    }
};

// Writes all of the bytes or gives up (the parent has gone).
void writeAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(4);
        p += n;
        size -= size_t(n);
    }
}

// Reads all of the bytes; false at the end of the stream or on an error.
bool readAll(int fd, void *data, size_t size)
{
    char *p = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

// The trial's answer for one table: found, the number of rows, their places.
void answerTable(MdbHandle *mdb, const QString &tableName, int out)
{
    quint8 found = 0;
    RowPlaces rows;
    if (!tableName.isEmpty()) {
        if (MdbCatalogEntry *entry = findTable(userTablesOf(mdb), tableName)) {
            MdbTableDef *t = mdb_read_table(entry);
            if (!t || !mdb_read_columns(t))
                _exit(3);
            mdb_read_indices(t);
            rows = walkRows(mdb, t);
            found = 1;
        }
    }
    const quint64 count = rows.size();
    writeAll(out, &found, sizeof found);
    writeAll(out, &count, sizeof count);
    writeAll(out, rows.data(), rows.size() * sizeof(RowPlace));
}

// How long a trial child that has answered waits for the next table before it
// ends: a listing of the tables is mostly followed by opening one at once.
constexpr int TrialChildIdleMs = 3000;

// The trial in the child: reads the catalog and, for a table, its definition
// and every row, and sends the rows' places to the parent. It then answers
// for further tables of the same catalog (the length of a name, the name in
// UTF-8) until the parent closes its end or none is asked for a while.
[[noreturn]] void runTrialChild(const QByteArray &file, const QString &tableName, int channel)
{
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
    }
#if !defined(__SANITIZE_ADDRESS__)
    // (An address-sanitizer build reserves far more address space than this
    // before it allocates anything; there the time limit alone guards.)
    const rlim_t limit = rlim_t(1) << 31;
    struct rlimit rl = {limit, limit};
    setrlimit(RLIMIT_AS, &rl);
#endif
    MdbHandle *mdb = mdb_open(file.constData(), MDB_NOFLAGS);
    if (!mdb || !mdb_read_catalog(mdb, MDB_TABLE))
        _exit(2);
    answerTable(mdb, tableName, channel);
    for (;;) {
        struct pollfd pfd = {channel, POLLIN, 0};
        const int ready = poll(&pfd, 1, TrialChildIdleMs);
        if (ready < 0 && errno == EINTR)
            continue;
        quint32 length = 0;
        if (ready <= 0 || !readAll(channel, &length, sizeof length) || length > 4096)
            _exit(0);
        QByteArray name(qsizetype(length), Qt::Uninitialized);
        if (!readAll(channel, name.data(), length))
            _exit(0);
        answerTable(mdb, QString::fromUtf8(name), channel);
    }
}

// A trial child with the catalog read, kept by the database it tried so that
// its next table is tried without a new child reading the catalog again.
class TrialChild {
public:
    TrialChild(pid_t pid, int channel) : m_pid(pid), m_channel(channel) {}
    ~TrialChild()
    {
        close(m_channel);
        end();
    }
    TrialChild(const TrialChild &) = delete;
    TrialChild &operator=(const TrialChild &) = delete;

    int channel() const { return m_channel; }
    // Asks for the trial of a table; false when the child has gone meanwhile.
    bool ask(const QString &tableName)
    {
        const QByteArray name = tableName.toUtf8();
        QByteArray request;
        const quint32 length = quint32(name.size());
        request.append(reinterpret_cast<const char *>(&length), sizeof length);
        request.append(name);
        qsizetype sent = 0;
        while (sent < request.size()) {
            const ssize_t n = send(m_channel, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
    // Ends the child (idle, or found wanting: it has nothing left to finish)
    // and returns its wait status; once only, so that no other process that
    // got its number later is ever signalled.
    int end()
    {
        if (!m_ended) {
            m_ended = true;
            kill(m_pid, SIGKILL); // a child that has exited already is not affected
            while (waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
        }
        return m_status;
    }

private:
    pid_t m_pid;
    int m_channel;
    bool m_ended = false;
    int m_status = 0;
};

// Waits for the child's answer about one table within the time limit. A child
// that does not answer in time is killed; one that ends without a complete
// answer has crashed or failed. Either is reported as damage of the file. A
// kept child may have ended for want of work just as it was asked (kept):
// then nothing is returned, and the caller asks a new one.
std::shared_ptr<const Trial> receiveTrial(TrialChild &child, const QString &path, const QString &tableName, qint64 fileSize,
                                          bool kept)
{
    // Generous for the largest databases: mdbtools reads some 100 MB a second.
    const qint64 limitMs = 5000 + fileSize / (1024 * 1024) * 200;
    QElapsedTimer timer;
    timer.start();
    const qsizetype head = qsizetype(sizeof(quint8) + sizeof(quint64));
    QByteArray received;
    qsizetype wanted = head;
    bool hung = false;
    bool ended = false;
    char buffer[65536];
    while (received.size() < wanted) {
        const qint64 left = limitMs - timer.elapsed();
        if (left <= 0) {
            hung = true;
            break;
        }
        struct pollfd pfd = {child.channel(), POLLIN, 0};
        const int ready = poll(&pfd, 1, int(std::min<qint64>(left, 60000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            ended = true;
            break;
        }
        if (ready == 0)
            continue;
        const ssize_t n = read(child.channel(), buffer, size_t(std::min<qsizetype>(qsizetype(sizeof buffer), wanted - received.size())));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ended = true; // the child has finished, one way or the other
            break;
        }
        received.append(buffer, n);
        if (received.size() == head) {
            quint64 count = 0;
            std::memcpy(&count, received.constData() + 1, sizeof count);
            if (count > quint64(1) << 32) {
                ended = true;
                break;
            }
            wanted = head + qsizetype(count * sizeof(RowPlace));
        }
    }
    if (hung) {
        child.end();
        throw damaged(path, QStringLiteral("beim Lesen bleibt mdbtools darin hängen"));
    }
    if (ended || received.size() < wanted) {
        const int status = child.end();
        if (kept && received.isEmpty() && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return nullptr;
        if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
            throw damaged(path, QStringLiteral("mdbtools stürzt beim Lesen ab (Signal %1)").arg(WTERMSIG(status)));
        throw damaged(path, tableName.isEmpty() ? QStringLiteral("das Verzeichnis ihrer Tabellen lässt sich nicht lesen")
                                                : QStringLiteral("die Tabelle %1 lässt sich nicht lesen").arg(tableName));
    }
    auto trial = std::make_shared<Trial>();
    trial->tableFound = received.at(0) != 0;
    trial->rows.resize(size_t(wanted - head) / sizeof(RowPlace));
    std::memcpy(trial->rows.data(), received.constData() + head, trial->rows.size() * sizeof(RowPlace));
    return trial;
}

// mdbtools parses catalogs, table definitions and property lists without
// checking them: a damaged file can make it loop for ever or exhaust memory
// (seen with cut-off copies whose property pages are missing). What mdbtools
// will do with a file is therefore tried first in a child process with a time
// and memory limit: it reads the catalog and, for a table, its definition and
// every row. Only when the child answers completely does this process go on,
// and it takes the rows' places from the child instead of reading every row
// again. The parent waits on the socket with poll, so it wakes when the child
// is done. A child that tried the catalog alone (a listing of the tables) is
// kept in *keep, to try the table opened next without reading the catalog
// anew. Returns nothing when no child could be had (then the caller reads alone).
std::shared_ptr<const Trial> tryWithMdbtools(const QString &path, const QString &tableName, qint64 fileSize,
                                             std::unique_ptr<TrialChild> *keep = nullptr)
{
    const std::optional<TrialRecord::Key> key = TrialRecord::keyOf(path, tableName);
    if (key) {
        if (std::shared_ptr<const Trial> known = TrialRecord::find(*key)) {
            if (keep)
                keep->reset();
            return known;
        }
    }
    std::unique_ptr<TrialChild> child;
    std::shared_ptr<const Trial> trial;
    if (keep && *keep && (*keep)->ask(tableName)) {
        child = std::move(*keep);
        trial = receiveTrial(*child, path, tableName, fileSize, true);
        if (!trial)
            child.reset();
    }
    if (keep)
        keep->reset();
    if (!child) {
        const QByteArray file = QFile::encodeName(path);
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return nullptr;
        const pid_t pid = fork();
        if (pid < 0) {
            close(fds[0]);
            close(fds[1]);
            return nullptr; // no child to be had: read without the trial
        }
        if (pid == 0) {
            close(fds[0]);
            runTrialChild(file, tableName, fds[1]);
        }
        close(fds[1]);
        child = std::make_unique<TrialChild>(pid, fds[0]);
        trial = receiveTrial(*child, path, tableName, fileSize, false);
    }
    if (key)
        TrialRecord::keep(*key, trial);
    if (keep && tableName.isEmpty())
        *keep = std::move(child);
    return trial;
}

QString versionName(int jet)
{
    switch (jet) {
    case MDB_VER_JET3: return QStringLiteral("Jet 3 (Access 97)");
    case MDB_VER_JET4: return QStringLiteral("Jet 4 (Access 2000–2003)");
    case MDB_VER_ACCDB_2007: return QStringLiteral("ACE 12 (Access 2007)");
    case MDB_VER_ACCDB_2010: return QStringLiteral("ACE 14 (Access 2010)");
    case MDB_VER_ACCDB_2013: return QStringLiteral("ACE 15 (Access 2013)");
    case MDB_VER_ACCDB_2016: return QStringLiteral("ACE 16 (Access 2016)");
    default: return QStringLiteral("ACE 17 (Access 2019)");
    }
}

// One open database file with its catalog read.
class Database {
public:
    // tableName: the table that will be read, tried out along with the catalog.
    explicit Database(const QString &path, const QString &tableName = QString()) : m_path(path)
    {
        m_version = checkFile(path);
        m_jet3Charset = configureCharsets();
        m_trial = tryWithMdbtools(path, tableName, QFileInfo(path).size(), &m_child);
        const MutedStderr quiet;
        m_mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
        if (!m_mdb)
            throw EngineError(ErrorKind::Io, QStringLiteral("Die Access-Datenbank %1 lässt sich nicht lesen.").arg(native(path)));
        if (!mdb_read_catalog(m_mdb, MDB_TABLE)) {
            mdb_close(m_mdb);
            m_mdb = nullptr;
            throw damaged(path, QStringLiteral("das Verzeichnis ihrer Tabellen lässt sich nicht lesen"));
        }
    }
    ~Database()
    {
        if (m_mdb)
            mdb_close(m_mdb);
    }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    MdbHandle *handle() const { return m_mdb; }
    const QString &path() const { return m_path; }
    const Version &version() const { return m_version; }
    const QByteArray &jet3Charset() const { return m_jet3Charset; }
    // The child's findings; null when no child could be had.
    const Trial *trial() const { return m_trial.get(); }
    // Tries a table of this database (its catalog is read) in a child, as the
    // constructor does for the table it is made for.
    void tryTable(const QString &tableName) { m_trial = tryWithMdbtools(m_path, tableName, QFileInfo(m_path).size(), &m_child); }

    QList<MdbCatalogEntry *> userTables() const { return userTablesOf(m_mdb); }

private:
    QString m_path;
    Version m_version;
    QByteArray m_jet3Charset;
    std::shared_ptr<const Trial> m_trial;
    std::unique_ptr<TrialChild> m_child; // the child that tried the catalog, for the next table
    MdbHandle *m_mdb = nullptr;
};

// The database last listed stays open, so that opening one of its tables next
// (the descriptor lists the tables, then opens one) reads the catalog once. It
// is taken only while the file is as it was (the trial record's key) and by
// one table at a time: an open table owns its database, since mdbtools' page
// buffer cannot be shared.
class SpareDatabase {
public:
    static void keep(const QString &path, std::unique_ptr<Database> db)
    {
        const std::optional<TrialRecord::Key> key = TrialRecord::keyOf(path, QString());
        const std::lock_guard<std::mutex> lock(mutex());
        slot().reset();
        if (key)
            slot() = std::make_unique<Kept>(Kept{*key, path, std::move(db)});
    }
    static std::unique_ptr<Database> take(const QString &path)
    {
        const std::optional<TrialRecord::Key> key = TrialRecord::keyOf(path, QString());
        const std::lock_guard<std::mutex> lock(mutex());
        if (!key || !slot() || !(slot()->key == *key) || slot()->path != path)
            return nullptr;
        std::unique_ptr<Database> db = std::move(slot()->db);
        slot().reset();
        return db;
    }

private:
    struct Kept {
        TrialRecord::Key key;
        QString path;
        std::unique_ptr<Database> db;
    };
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::unique_ptr<Kept> &slot()
    {
        static std::unique_ptr<Kept> kept;
        return kept;
    }
};

QString columnName(const MdbColumn *col)
{
    return QString::fromUtf8(col->name, qstrnlen(col->name, sizeof col->name));
}

// Access counts days from 30.12.1899; before it the whole part counts back and
// the fraction still runs forward through the day (-1.25 is 29.12.1899 06:00).
// Gives false outside the range Access allows (1.1.100 to 31.12.9999).
bool accessDayAndTime(double value, QDate *date, qint64 *msecsOfDay)
{
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0)
        return false;
    double days = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - days) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += 1;
    }
    *date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    *msecsOfDay = ms;
    return true;
}

QDateTime accessDateTime(double value)
{
    QDate date;
    qint64 ms = 0;
    if (!accessDayAndTime(value, &date, &ms))
        return QDateTime();
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

// The text of a stored date-time, straight from its number: the wall-clock
// time as stored, with no time-zone lookup on the way.
QString accessDateTimeText(double value)
{
    QDate date;
    qint64 ms = 0;
    return accessDayAndTime(value, &date, &ms) ? formatDateTime(date, ms) : QString();
}

double floatValue(float f)
{
    // The shortest text that reads back as the same single (0.05, not 0.0500000007).
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, f);
    double d = f;
    std::from_chars(buf, res.ptr, d);
    return d;
}

class AccessTable final : public TableSource {
public:
    AccessTable(std::unique_ptr<Database> db, MdbCatalogEntry *entry);
    ~AccessTable() override
    {
        if (m_table)
            mdb_free_tabledef(m_table);
    }

    QString tableName() const override { return m_name; }
    QString fileName() const override { return m_db->path(); }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }
    QVector<IndexDef> indexDefs() const override { return m_indexes; }

    qint64 rowCount() override { return static_cast<qint64>(m_rows.size()); }
    RowId rowAt(qint64 position) override
    {
        if (position < 0 || position >= rowCount())
            throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz %1 gibt es in der Tabelle %2 nicht.").arg(position + 1).arg(m_name));
        return position;
    }
    qint64 positionOf(RowId row) override { return row >= 0 && row < rowCount() ? row : -1; }
    QVariant value(RowId row, int field) override;
    QString text(RowId row, int field) override;

    QString readOnlyReason() const override { return readOnlyText(m_db->path()); }

    QList<QPair<QString, QString>> facts() const override;
    QList<QPair<QString, QVariant>> connectionProperties() const override
    {
        // The values of the Jet/ACE provider: 4 Jet 3.x, 5 Jet 4.x, 6 ACE.
        const int jet = m_db->version().jet;
        return {{QStringLiteral("Jet OLEDB:Engine Type"), jet == MDB_VER_JET3 ? 4 : jet == MDB_VER_JET4 ? 5 : 6}};
    }

private:
    // The cracked fields of one row; mdb->pg_buf holds its page until the next read.
    int crack(RowId row, MdbField *fields);
    QVariant decode(const MdbColumn *col, const MdbField &f);
    // The row's decoded values as kept: a date-time is kept as its stored number.
    const QVector<QVariant> &cachedRow(RowId row, int field);
    QString decodeText(const unsigned char *data, int size);
    QByteArray readLongValue(const unsigned char *data, int size);
    MdbColumn *column(int index) const
    {
        return static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, index));
    }

    std::unique_ptr<Database> m_db;
    MdbTableDef *m_table = nullptr;
    QString m_name;
    QVector<FieldDef> m_defs;
    QVector<IndexDef> m_indexes;
    RowPlaces m_rows;
    QCache<RowId, QVector<QVariant>> m_cache{512};
    QStringDecoder m_jet3Decoder;
};

AccessTable::AccessTable(std::unique_ptr<Database> db, MdbCatalogEntry *entry)
    : m_db(std::move(db)), m_name(entryName(entry))
{
    const QString &path = m_db->path();
    m_jet3Decoder = QStringDecoder(m_db->jet3Charset().constData());
    if (!m_jet3Decoder.isValid())
        m_jet3Decoder = QStringDecoder("windows-1252");

    const MutedStderr quiet;
    m_table = mdb_read_table(entry);
    if (!m_table)
        throw damaged(path, QStringLiteral("die Beschreibung der Tabelle %1 lässt sich nicht lesen").arg(m_name));
    if (!mdb_read_columns(m_table) || m_table->num_cols == 0 || m_table->num_cols > MDB_MAX_COLS
        || !m_table->columns || m_table->columns->len != m_table->num_cols)
        throw damaged(path, QStringLiteral("die Felder der Tabelle %1 lassen sich nicht lesen").arg(m_name));
    mdb_read_indices(m_table);

    const bool jet3 = m_db->version().jet == MDB_VER_JET3;
    for (guint i = 0; i < m_table->num_cols; ++i) {
        const MdbColumn *col = column(static_cast<int>(i));
        FieldDef f;
        f.name = columnName(col);
        f.fieldNo = static_cast<int>(i) + 1;
        const char *required = mdb_col_get_prop(col, "Required");
        f.required = required && qstrcmp(required, "yes") == 0;
        switch (col->col_type) {
        case MDB_BOOL: f.dataType = ftBoolean; f.nativeType = QStringLiteral("Ja/Nein"); break;
        case MDB_BYTE: f.dataType = ftSmallint; f.size = 1; f.nativeType = QStringLiteral("Byte"); break;
        case MDB_INT: f.dataType = ftSmallint; f.size = 2; f.nativeType = QStringLiteral("Integer"); break;
        case MDB_LONGINT:
            f.dataType = col->is_long_auto ? ftAutoInc : ftInteger;
            f.size = 4;
            f.nativeType = col->is_long_auto ? QStringLiteral("AutoWert") : QStringLiteral("Long Integer");
            break;
        case MDB_MONEY: f.dataType = ftCurrency; f.size = 8; f.nativeType = QStringLiteral("Währung"); break;
        case MDB_FLOAT: f.dataType = ftFloat; f.size = 4; f.nativeType = QStringLiteral("Single"); break;
        case MDB_DOUBLE: f.dataType = ftFloat; f.size = 8; f.nativeType = QStringLiteral("Double"); break;
        case MDB_DATETIME: f.dataType = ftDateTime; f.size = 8; f.nativeType = QStringLiteral("Datum/Uhrzeit"); break;
        case MDB_BINARY:
            f.dataType = ftVarBytes;
            f.size = col->col_size;
            f.nativeType = QStringLiteral("Binär(%1)").arg(col->col_size);
            break;
        case MDB_TEXT:
            f.dataType = ftString;
            // Jet 4 stores the width in bytes of UCS-2.
            f.size = jet3 ? col->col_size : col->col_size / 2;
            f.nativeType = QStringLiteral("Text(%1)").arg(f.size);
            break;
        case MDB_OLE: f.dataType = ftBlob; f.nativeType = QStringLiteral("OLE-Objekt"); break;
        case MDB_MEMO: f.dataType = ftMemo; f.nativeType = QStringLiteral("Memo"); break;
        case MDB_REPID: f.dataType = ftGuid; f.size = 38; f.nativeType = QStringLiteral("Replikations-ID"); break;
        case MDB_NUMERIC:
            // mdbtools 1.0 keeps a decimal column's precision in col_scale and its scale in col_prec.
            f.dataType = ftBCD;
            f.precision = col->col_scale;
            f.scale = col->col_prec;
            f.size = f.scale;
            f.nativeType = QStringLiteral("Dezimal(%1,%2)").arg(f.precision).arg(f.scale);
            break;
        case MDB_COMPLEX: f.dataType = ftInteger; f.size = 4; f.nativeType = QStringLiteral("Mehrwertig"); break;
        default:
            f.dataType = ftVarBytes;
            f.size = col->col_size;
            f.nativeType = QStringLiteral("Typ %1").arg(col->col_type);
            break;
        }
        m_defs.append(f);
    }

    if (m_table->indices) {
        for (guint i = 0; i < m_table->indices->len; ++i) {
            const auto *idx = static_cast<const MdbIndex *>(g_ptr_array_index(m_table->indices, i));
            // Type 2 are the halves of relationships, not indexes a user made.
            if (!idx || idx->index_type == 2 || idx->num_keys == 0 || idx->num_keys > MDB_MAX_IDX_COLS)
                continue;
            IndexDef def;
            def.name = QString::fromUtf8(idx->name, qstrnlen(idx->name, sizeof idx->name));
            QStringList keys;
            int descending = 0;
            bool valid = true;
            for (unsigned k = 0; k < idx->num_keys; ++k) {
                const int colNo = idx->key_col_num[k];
                if (colNo < 1 || colNo > m_defs.size()) {
                    valid = false;
                    break;
                }
                keys << m_defs.at(colNo - 1).name;
                if (idx->key_col_order[k] == MDB_DESC)
                    ++descending;
            }
            if (!valid)
                continue;
            def.fields = keys.join(QLatin1Char(';'));
            if (idx->index_type == 1)
                def.options |= ixPrimary | ixUnique;
            if (idx->flags & MDB_IDX_UNIQUE)
                def.options |= ixUnique;
            // One order for the whole key: descending when every key field is.
            if (descending == static_cast<int>(idx->num_keys))
                def.options |= ixDescending;
            def.source = path;
            m_indexes.append(def);
        }
    }

    // The trial child has walked the rows already; alone, this process walks them.
    if (const Trial *trial = m_db->trial(); trial && trial->tableFound)
        m_rows = trial->rows;
    else
        m_rows = walkRows(m_db->handle(), m_table);
}

int AccessTable::crack(RowId row, MdbField *fields)
{
    MdbHandle *mdb = m_db->handle();
    const MutedStderr quiet;
    const RowPlace place = m_rows.at(static_cast<size_t>(row));
    if (mdb_read_pg(mdb, place.page) != mdb->fmt->pg_size) {
        // mdbtools notes the page as read even when the read failed.
        mdb->cur_pg = 0;
        throw damaged(m_db->path(), QStringLiteral("die Seite %1 der Tabelle %2 lässt sich nicht lesen").arg(place.page).arg(m_name));
    }
    int start = 0;
    size_t length = 0;
    if (mdb_find_row(mdb, place.row, &start, &length) != 0 || length == 0)
        throw damaged(m_db->path(), QStringLiteral("der Satz %1 der Tabelle %2 lässt sich nicht finden").arg(row + 1).arg(m_name));
    const int n = mdb_crack_row(m_table, start & OffsetMask, length, fields);
    if (n < 0)
        throw damaged(m_db->path(), QStringLiteral("der Satz %1 der Tabelle %2 lässt sich nicht lesen").arg(row + 1).arg(m_name));
    return n;
}

const QVector<QVariant> &AccessTable::cachedRow(RowId row, int field)
{
    if (row < 0 || row >= rowCount())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz %1 gibt es in der Tabelle %2 nicht.").arg(row + 1).arg(m_name));
    if (field < 0 || field >= m_defs.size())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Das Feld %1 gibt es in der Tabelle %2 nicht.").arg(field + 1).arg(m_name));
    if (const QVector<QVariant> *cached = m_cache.object(row))
        return *cached;

    MdbField fields[MDB_MAX_COLS];
    const int n = crack(row, fields);
    auto values = std::make_unique<QVector<QVariant>>(m_defs.size());
    for (int i = 0; i < n && i < m_defs.size(); ++i) {
        const int colNo = fields[i].colnum;
        if (colNo < 0 || colNo >= m_defs.size())
            continue;
        (*values)[colNo] = decode(column(colNo), fields[i]);
    }
    QVector<QVariant> *kept = values.release();
    m_cache.insert(row, kept, 1);
    return *kept;
}

QVariant AccessTable::value(RowId row, int field)
{
    const QVariant &v = cachedRow(row, field).at(field);
    if (m_defs.at(field).dataType == ftDateTime && !v.isNull()) {
        const QDateTime dt = accessDateTime(v.toDouble());
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    return v;
}

QString AccessTable::text(RowId row, int field)
{
    const QVariant &v = cachedRow(row, field).at(field);
    if (m_defs.at(field).dataType == ftDateTime)
        return v.isNull() ? QString() : accessDateTimeText(v.toDouble());
    return formatValue(v, m_defs.at(field).dataType);
}

QString AccessTable::decodeText(const unsigned char *data, int size)
{
    if (size <= 0)
        return QString();
    if (m_db->version().jet == MDB_VER_JET3)
        return m_jet3Decoder.decode(QByteArrayView(reinterpret_cast<const char *>(data), size));
    // Jet 4 text is UCS-2; "FF FE" starts the compressed form, in which each
    // zero byte switches between one-byte characters and two-byte ones.
    QString out;
    if (size >= 2 && data[0] == 0xff && data[1] == 0xfe) {
        out.reserve(size);
        bool compressed = true;
        int i = 2;
        while (i < size) {
            if (data[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out.append(QChar(data[i]));
                ++i;
            } else if (i + 1 < size) {
                out.append(QChar(char16_t(data[i] | (data[i + 1] << 8))));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    out.resize(size / 2);
    for (int i = 0; i < size / 2; ++i)
        out[i] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));
    return out;
}

// The bytes of a memo or OLE field: in the row itself, in one row of a long
// value page, or in a chain of such rows. Every page number and length comes
// from the file, so the walk stops at the declared length and after as many
// steps as the file has pages.
QByteArray AccessTable::readLongValue(const unsigned char *data, int size)
{
    if (size < LongValueHeader)
        return QByteArray();
    MdbHandle *mdb = m_db->handle();
    const MutedStderr quiet;
    const quint32 header = qFromLittleEndian<quint32>(data);
    const quint32 declared = header & 0x3fffffff;
    if (header & 0x80000000u)
        return QByteArray(reinterpret_cast<const char *>(data + LongValueHeader), size - LongValueHeader);
    qint32 pgRow = qFromLittleEndian<qint32>(data + 4);
    void *buf = nullptr;
    int start = 0;
    size_t length = 0;
    if (header & 0x40000000u) {
        if (mdb_find_pg_row(mdb, pgRow, &buf, &start, &length) != 0)
            throw damaged(m_db->path(), QStringLiteral("ein Memo- oder OLE-Feld der Tabelle %1 zeigt ins Leere").arg(m_name));
        return QByteArray(static_cast<const char *>(buf) + start, static_cast<qsizetype>(std::min<size_t>(length, declared)));
    }
    if (header & 0xc0000000u)
        throw damaged(m_db->path(), QStringLiteral("ein Memo- oder OLE-Feld der Tabelle %1 hat eine unbekannte Form").arg(m_name));
    QByteArray out;
    const qint64 pages = QFileInfo(m_db->path()).size() / m_db->version().pageSize;
    for (qint64 step = 0; pgRow != 0 && out.size() < static_cast<qsizetype>(declared); ++step) {
        if (step > pages || mdb_find_pg_row(mdb, pgRow, &buf, &start, &length) != 0 || length < 4)
            throw damaged(m_db->path(), QStringLiteral("die Kette eines Memo- oder OLE-Felds der Tabelle %1 ist unterbrochen").arg(m_name));
        const auto *p = static_cast<const unsigned char *>(buf) + start;
        pgRow = qFromLittleEndian<qint32>(p);
        out.append(reinterpret_cast<const char *>(p + 4), static_cast<qsizetype>(length - 4));
    }
    out.truncate(static_cast<qsizetype>(declared));
    return out;
}

QVariant AccessTable::decode(const MdbColumn *col, const MdbField &f)
{
    MdbHandle *mdb = m_db->handle();
    // A yes/no field keeps its value in the null bit: set means "no".
    if (col->col_type == MDB_BOOL)
        return QVariant(!f.is_null);
    if (f.is_null)
        return QVariant();
    if (f.start < 0 || f.siz < 0 || f.start + f.siz > mdb->fmt->pg_size)
        throw damaged(m_db->path(), QStringLiteral("ein Feld der Tabelle %1 liegt außerhalb seiner Seite").arg(m_name));
    const unsigned char *p = mdb->pg_buf + f.start;
    const auto need = [&](int bytes) { return f.siz >= bytes; };
    switch (col->col_type) {
    case MDB_BYTE:
        return need(1) ? QVariant(qint64(p[0])) : QVariant();
    case MDB_INT:
        return need(2) ? QVariant(qint64(qFromLittleEndian<qint16>(p))) : QVariant();
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return need(4) ? QVariant(qint64(qFromLittleEndian<qint32>(p))) : QVariant();
    case MDB_MONEY:
        return need(8) ? QVariant(double(qFromLittleEndian<qint64>(p)) / 10000.0) : QVariant();
    case MDB_FLOAT:
        if (!need(4))
            return QVariant();
        return floatValue(qFromLittleEndian<float>(p));
    case MDB_DOUBLE:
        return need(8) ? QVariant(qFromLittleEndian<double>(p)) : QVariant();
    case MDB_DATETIME: {
        if (!need(8))
            return QVariant();
        // Kept as the stored number; value() and text() turn it into what they give.
        const double stored = qFromLittleEndian<double>(p);
        QDate date;
        qint64 ms = 0;
        return accessDayAndTime(stored, &date, &ms) ? QVariant(stored) : QVariant();
    }
    case MDB_TEXT:
        return decodeText(p, f.siz);
    case MDB_MEMO: {
        const QByteArray bytes = readLongValue(p, f.siz);
        return decodeText(reinterpret_cast<const unsigned char *>(bytes.constData()), static_cast<int>(bytes.size()));
    }
    case MDB_OLE:
        return readLongValue(p, f.siz);
    case MDB_REPID: {
        if (!need(16))
            return QVariant();
        const QUuid id(qFromLittleEndian<quint32>(p), qFromLittleEndian<quint16>(p + 4), qFromLittleEndian<quint16>(p + 6),
                       p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
        return id.toString(QUuid::WithBraces).toUpper();
    }
    case MDB_NUMERIC: {
        if (!need(17))
            return QVariant();
        // A sign byte, then 128 bits as four little-endian words, the highest first.
        double mantissa = 0;
        for (int w = 0; w < 4; ++w)
            mantissa = mantissa * 4294967296.0 + qFromLittleEndian<quint32>(p + 1 + 4 * w);
        const int scale = std::clamp(col->col_prec, 0, 28);
        double v = mantissa / std::pow(10.0, scale);
        if (p[0] & 0x80)
            v = -v;
        return v;
    }
    default:
        return QByteArray(reinterpret_cast<const char *>(p), f.siz);
    }
}

QList<QPair<QString, QString>> AccessTable::facts() const
{
    QList<QPair<QString, QString>> out;
    out.append({QStringLiteral("Version"), versionName(m_db->version().jet)});
    out.append({QStringLiteral("Seitengröße"), QStringLiteral("%1 Bytes").arg(m_db->version().pageSize)});
    if (m_db->version().jet == MDB_VER_JET3)
        out.append({QStringLiteral("Zeichensatz"),
                    QStringLiteral("%1 (Jet-3-Dateien nennen ihn nicht)").arg(QString::fromLatin1(m_db->jet3Charset()))});
    else
        out.append({QStringLiteral("Zeichensatz"), QStringLiteral("Unicode")});
    out.append({QStringLiteral("Sätze laut Tabellenbeschreibung"), QString::number(m_table->num_rows)});
    out.append({QStringLiteral("Lesbare Sätze"), QString::number(m_rows.size())});
    return out;
}

} // namespace

bool AccessDriver::handles(const QString &extendedProperties) const
{
    return extendedProperties.trimmed().isEmpty();
}

QStringList AccessDriver::tableNames(const QString &dataSource)
{
    std::unique_ptr<Database> db = SpareDatabase::take(dataSource);
    if (!db)
        db = std::make_unique<Database>(dataSource);
    QStringList names;
    for (const MdbCatalogEntry *entry : db->userTables())
        names << entryName(entry);
    SpareDatabase::keep(dataSource, std::move(db));
    return names;
}

std::unique_ptr<TableSource> AccessDriver::open(const QString &dataSource, const QString &tableName,
                                                const OpenOptions &)
{
    std::unique_ptr<Database> db = SpareDatabase::take(dataSource);
    if (db)
        db->tryTable(tableName);
    else
        db = std::make_unique<Database>(dataSource, tableName);
    MdbCatalogEntry *found = findTable(db->userTables(), tableName);
    if (!found) {
        if (tableName.isEmpty())
            throw EngineError(ErrorKind::NotFound, QStringLiteral("Es ist keine Tabelle der Access-Datenbank %1 gewählt.").arg(native(dataSource)));
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 gibt es in der Access-Datenbank %2 nicht.")
                              .arg(tableName, native(dataSource)));
    }
    return std::make_unique<AccessTable>(std::move(db), found);
}

} // namespace engine
