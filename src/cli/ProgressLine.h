#pragma once
// The command-line tool's progress on standard error, in the manner of
// ogr2ogr's -progress: "0...10...20...30...40...50...60...70...80...90...100 - fertig."
// Each tenth is written once, when it is passed; the line ends at 100, and a
// further walk of the same command (a print after its filter) starts a new one.
#include "Progress.h"

#include <cstdio>

namespace cli {

class ProgressLine : public engine::ProgressObserver {
public:
    explicit ProgressLine(FILE *file) : m_file(file) {}
    void progress(qint64 done, qint64 total) override;
    // Work that failed half-way: the open line is ended so the message stands on its own.
    void abandon();

private:
    FILE *m_file;
    int m_nextTenth = 0; // the next tenth to write; 0 while no line is open
};

// A progress line belongs on a terminal: not with -q, not into a file or pipe.
bool showsProgress(bool quiet, FILE *err);

} // namespace cli
