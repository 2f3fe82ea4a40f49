// brisvel-cli's progress line: its shape, and that it goes only to a terminal
// and never with -q.
#include "CliTool.h"
#include "Progress.h"
#include "ProgressLine.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using testsupport::ScratchDir;

namespace {

QByteArray contentOf(FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(n));
    return bytes;
}

// A pseudo-terminal: the program writes to the terminal side, the test reads
// what a user would see from the other.
struct Terminal {
    int master = -1;
    FILE *terminal = nullptr;
    Terminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        const int fd = open(ptsname(master), O_RDWR | O_NOCTTY);
        if (fd >= 0)
            terminal = fdopen(fd, "w");
    }
    ~Terminal()
    {
        if (terminal)
            std::fclose(terminal);
        if (master >= 0)
            close(master);
    }
    QByteArray seen()
    {
        std::fflush(terminal);
        QByteArray bytes;
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, 200) > 0 && (p.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, qsizetype(n));
        }
        return bytes;
    }
};

struct Timing {
    engine::ProgressTiming before = engine::progressTiming();
    explicit Timing(engine::ProgressTiming t) { engine::setProgressTiming(t); }
    ~Timing() { engine::setProgressTiming(before); }
};

QString writeCsv(const ScratchDir &dir, int n)
{
    QFile file(dir.file(QStringLiteral("orte.csv")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("NR,ORT\r\n");
    for (int i = 1; i <= n; ++i)
        file.write(QByteArray::number(i) + ",Bonn\r\n");
    return file.fileName();
}

} // namespace

TEST(CliProgress, LineWritesEachTenthOnceAndEndsAtHundred)
{
    FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    cli::ProgressLine line(file);
    line.progress(0, 200);
    line.progress(1, 200); // still 0 %: nothing new
    line.progress(90, 200);
    line.progress(90, 200);
    line.progress(199, 200);
    line.progress(200, 200);
    line.progress(200, 200);
    line.abandon(); // after the end: nothing more
    EXPECT_EQ(contentOf(file), QByteArray("0...10...20...30...40...50...60...70...80...90...100 - fertig.\n"));
    std::fclose(file);

    FILE *broken = std::tmpfile();
    cli::ProgressLine half(broken);
    half.progress(0, 0); // no total: no line
    half.progress(35, 100);
    half.abandon();
    half.progress(100, 100); // the end of the abandoned walk: nothing
    half.abandon();          // no line open: nothing
    half.progress(50, 400);  // a second walk
    half.progress(400, 400);
    EXPECT_EQ(contentOf(broken),
              QByteArray("0...10...20...30...\n0...10...20...30...40...50...60...70...80...90...100 - fertig.\n"));
    std::fclose(broken);
}

TEST(CliProgress, OnlyATerminalWithoutQuietGetsTheLine)
{
    const Timing timing({0, 0});
    ScratchDir dir;
    const QString table = writeCsv(dir, 300);

    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    EXPECT_FALSE(cli::showsProgress(false, err));
    EXPECT_EQ(cli::run({QStringLiteral("export"), table, dir.file(QStringLiteral("a.dbf"))}, out, err), 0);
    EXPECT_EQ(contentOf(err), QByteArray()) << "a file is no terminal";
    EXPECT_TRUE(contentOf(out).contains("300 Datensätze exportiert."));
    std::fclose(out);
    std::fclose(err);

    Terminal tty;
    ASSERT_NE(tty.terminal, nullptr) << "no pseudo-terminal available";
    EXPECT_TRUE(cli::showsProgress(false, tty.terminal));
    EXPECT_FALSE(cli::showsProgress(true, tty.terminal));
    FILE *quietOut = std::tmpfile();
    EXPECT_EQ(cli::run({QStringLiteral("export"), QStringLiteral("-q"), table, dir.file(QStringLiteral("b.csv"))}, quietOut,
                       tty.terminal),
              0);
    EXPECT_EQ(tty.seen(), QByteArray()) << "-q";
    EXPECT_EQ(cli::run({QStringLiteral("export"), table, dir.file(QStringLiteral("c.csv"))}, quietOut, tty.terminal), 0);
    const QByteArray seen = tty.seen();
    EXPECT_TRUE(seen.startsWith("0...10...20...")) << seen.toStdString();
    EXPECT_TRUE(seen.contains("90...100 - fertig.")) << seen.toStdString();
    std::fclose(quietOut);
}
