#include "serialPortThread.h"

void serialPortThread::startSending() {}
