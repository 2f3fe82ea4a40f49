#include "AppWindows.h"

#include "ADOStateDialog.h"
#include "FieldsDelDialog.h"
#include "FieldsDialog.h"
#include "FilterDialog.h"
#include "GotoDialog.h"
#include "IndexDialog.h"
#include "MainWindow.h"
#include "SearchDialog.h"
#include "SetupDialog.h"

namespace app {

static AppWindows *current = nullptr;

AppWindows &AppWindows::create()
{
    if (current)
        return *current;
    current = new AppWindows;
    // The order is fixed: the main window first, then the dialogs.
    current->FMMain = new TFMMain;
    current->FMSuchen = new search::TFMSuchen(current->FMMain);
    current->FMGoto = new browse::TFMGoto(current->FMMain);
    current->FMFilter = new search::TFMFilter(current->FMMain);
    current->FMsetup = new TFMsetup(current->FMMain);
    current->FMIndex = new structure::TFMIndex(current->FMMain);
    current->FMFields = new structure::TFMFields(current->FMMain);
    current->FMFieldsDel = new structure::TFMFieldsDel(current->FMMain);
    current->FMAdostate = new data::TFMAdostate(current->FMMain);
    current->FMsetup->setObjectName(QStringLiteral("FMsetup"));
    current->FMAdostate->setSource(&current->FMMain->ADOConnectionMain, &current->FMMain->TBView);
    return *current;
}

AppWindows *AppWindows::instance()
{
    return current;
}

void AppWindows::destroy()
{
    if (!current)
        return;
    // The dialogs are children of the main window and go with it.
    delete current->FMMain;
    delete current;
    current = nullptr;
}

} // namespace app
