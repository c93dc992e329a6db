#include "fixtureSoftwareUpdater.h"

void fixtureSoftwareUpdater::on_actionRefreshPortsList_triggered() {}
void fixtureSoftwareUpdater::serialPortSelected(QAction *) {}
