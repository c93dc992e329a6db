#include "fixtureSoftwareUpdater.h"

void fixtureSoftwareUpdater::serialPortError(int) {}
