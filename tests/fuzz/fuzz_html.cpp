// libFuzzer target: HTML pages and every table on them.
#include "FuzzTable.h"
#include "drivers/html/HtmlDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static engine::HtmlDriver driver;
    fuzz::run(driver, data, size, {"t.htm"});
    return 0;
}
