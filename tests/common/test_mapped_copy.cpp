// Copies out of a file map that another program shortens: a failed copy, not
// a dead process; and a fault outside a guarded copy still ends the process.
#include "common/MappedCopy.h"
#include "TestSupport.h"

#include <QFile>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr size_t Page = 4096;

struct ShortenedMap {
    QTemporaryDir dir;
    int fd = -1;
    char *map = nullptr;
    size_t bytes = 4 * Page;
    ShortenedMap()
    {
        const QString path = dir.filePath(QStringLiteral("t.bin"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray content(int(bytes), 'x');
        for (size_t i = 0; i < bytes; ++i)
            content[int(i)] = char('a' + i % 26);
        f.write(content);
        f.close();
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR);
        map = static_cast<char *>(::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0));
        EXPECT_NE(map, MAP_FAILED);
        // Cut in the middle of the second page.
        EXPECT_EQ(::ftruncate(fd, off_t(Page + 100)), 0);
    }
    ~ShortenedMap()
    {
        ::munmap(map, bytes);
        ::close(fd);
    }
};

TEST(MappedCopy, PagesPastTheCutFailTheCopyAndTheRestStaysReadable)
{
    ShortenedMap m;
    char out[64] = {};
    // Whole pages past the end: the copy fails, the process lives, many times over.
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(engine::io::copyFromMap(out, m.map + 3 * Page, sizeof out));
    EXPECT_FALSE(engine::io::copyFromMap(out, m.map + 2 * Page - 10, sizeof out)) << "a copy across into a gone page";
    // Before the cut: the file's bytes.
    ASSERT_TRUE(engine::io::copyFromMap(out, m.map + 26, 26));
    EXPECT_EQ(QByteArray(out, 26), QByteArray("abcdefghijklmnopqrstuvwxyz"));
    // On the cut page past the end: zero bytes, as the kernel fills the page.
    ASSERT_TRUE(engine::io::copyFromMap(out, m.map + Page + 200, 8));
    EXPECT_EQ(QByteArray(out, 8), QByteArray(8, '\0'));
}

TEST(MappedCopyDeathTest, AFaultOutsideAGuardedCopyStillEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ShortenedMap m;
            char out[8];
            engine::io::copyFromMap(out, m.map, sizeof out); // the handler is in place
            volatile char c = m.map[3 * Page];
            (void)c;
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGBUS), "");
}

} // namespace
