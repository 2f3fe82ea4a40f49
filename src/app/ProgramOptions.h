#pragma once
// The program's answers to --help and --version, given before any window is
// made (so they work without a display).
#include <QStringList>
#include <cstdio>
#include <optional>

namespace app {

// The command line as "brisvel --help" prints it.
QString programUsage();

// --help or --version among the arguments (without the program name): the
// answer is written to out and the exit status returned; otherwise nothing.
std::optional<int> answerInfoOptions(const QStringList &arguments, FILE *out);

} // namespace app
