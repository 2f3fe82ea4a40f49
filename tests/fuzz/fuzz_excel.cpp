// libFuzzer target: Excel workbooks, BIFF8 in an OLE2 container and the older BIFF5/BIFF2-4 files.
#include "FuzzTable.h"
#include "drivers/excel/ExcelDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static engine::ExcelDriver driver;
    fuzz::run(driver, data, size, {"t.xls"});
    return 0;
}
