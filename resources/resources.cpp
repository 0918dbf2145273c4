#include "resources.h"

#include <QtGlobal>

void varnoInitResources()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    Q_INIT_RESOURCE(ui);
    Q_INIT_RESOURCE(pictures);
}
