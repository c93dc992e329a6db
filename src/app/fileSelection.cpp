#include "fixtureSoftwareUpdater.h"

void fixtureSoftwareUpdater::on_selectFileButton_clicked() {}
void fixtureSoftwareUpdater::on_selectFileButton_2_clicked() {}
