// libFuzzer target: text tables and the schema.ini that describes them.
#include "FuzzTable.h"
#include "drivers/csv/CsvDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static engine::CsvDriver driver;
    fuzz::run(driver, data, size, {"t.csv", "schema.ini"});
    return 0;
}
