#pragma once
// Memo pointers of a table's records checked against its memo file: each must
// name a block inside the file where a memo starts, in the file's own layout.
#include "DbfMemo.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace engine::dbase {

struct MemoPointer {
    quint32 record = 0; // 1-based, as the file counts records
    QString field;
    quint32 block = 0;
};

// One German sentence per pointer that does not lead to the start of a memo
// (at most ten per field, then a count). Throws EngineError when the memo file
// cannot be read.
QStringList checkMemoPointers(const MemoFile &memo, const std::vector<MemoPointer> &pointers);

} // namespace engine::dbase
