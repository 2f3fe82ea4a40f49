#pragma once
// For a table writer whose file layout depends on how many rows follow (the
// block size of a Paradox table): the export tells it the count once, before
// the first row, so that it sets the layout up and refuses what it could never
// hold before anything is written.
#include <QtGlobal>

namespace engine {

class KnownRowCount {
public:
    virtual ~KnownRowCount() = default;
    virtual void expectRows(qint64 rows) = 0;
};

} // namespace engine
