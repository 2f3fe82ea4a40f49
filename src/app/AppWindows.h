#pragma once
// The application's windows, created once at start in their fixed order and
// destroyed at exit.
namespace app {
class TFMMain;
class TFMsetup;
}
namespace browse {
class TFMGoto;
}
namespace search {
class TFMSuchen;
class TFMFilter;
}
namespace structure {
class TFMIndex;
class TFMFields;
class TFMFieldsDel;
}
namespace data {
class TFMAdostate;
}

namespace app {

struct AppWindows {
    TFMMain *FMMain = nullptr;
    search::TFMSuchen *FMSuchen = nullptr;
    browse::TFMGoto *FMGoto = nullptr;
    search::TFMFilter *FMFilter = nullptr;
    TFMsetup *FMsetup = nullptr;
    structure::TFMIndex *FMIndex = nullptr;
    structure::TFMFields *FMFields = nullptr;
    structure::TFMFieldsDel *FMFieldsDel = nullptr;
    data::TFMAdostate *FMAdostate = nullptr;

    static AppWindows &create();
    // Null before create() and after destroy().
    static AppWindows *instance();
    static void destroy();
};

} // namespace app
