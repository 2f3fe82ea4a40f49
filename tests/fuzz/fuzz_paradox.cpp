// libFuzzer target: Paradox tables with their primary index and memo file (.db, .px, .mb).
#include "FuzzTable.h"
#include "drivers/paradox/ParadoxDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static engine::ParadoxDriver driver;
    fuzz::run(driver, data, size, {"t.db", "t.px", "t.mb"});
    return 0;
}
