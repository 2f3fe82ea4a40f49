// libFuzzer target: dBASE and FoxPro tables with their memo and index files (.dbf, .dbt, .mdx, .fpt, .cdx, .ndx).
#include "FuzzTable.h"
#include "drivers/dbase/DbaseDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static engine::DbaseDriver driver;
    fuzz::run(driver, data, size, {"t.dbf", "t.dbt", "t.mdx", "t.fpt", "t.cdx", "t.ndx"});
    return 0;
}
