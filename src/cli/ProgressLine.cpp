#include "ProgressLine.h"

#include <unistd.h>

namespace cli {

void ProgressLine::progress(qint64 done, qint64 total)
{
    // The end of a walk whose line is already closed (or never opened) adds nothing.
    if (total <= 0 || (m_nextTenth == 0 && done >= total))
        return;
    const int percent = engine::percentOf(done, total);
    bool wrote = false;
    while (m_nextTenth <= 10 && m_nextTenth * 10 <= percent) {
        if (m_nextTenth == 10)
            std::fputs("100 - fertig.\n", m_file);
        else
            std::fprintf(m_file, "%d...", m_nextTenth * 10);
        ++m_nextTenth;
        wrote = true;
    }
    if (m_nextTenth > 10)
        m_nextTenth = 0; // the next walk (a print after its filter) gets a line of its own
    if (wrote)
        std::fflush(m_file);
}

void ProgressLine::abandon()
{
    if (m_nextTenth > 0) {
        std::fputc('\n', m_file);
        std::fflush(m_file);
        m_nextTenth = 0;
    }
}

bool showsProgress(bool quiet, FILE *err)
{
    return !quiet && err && isatty(fileno(err));
}

} // namespace cli
