#!/usr/bin/env bash
# Puts deliberate faults into the program, one at a time, and runs the test suite
# against each: a fault the suite does not notice is a fault a technician could
# meet first. Works on a copy of the tree (the work tree is never touched) and
# builds it with Qt 5 in build-faults/, then rebuilds what each fault changes.
#   ./scripts/check-deliberate-faults.sh          every fault (about a minute each)
#   ./scripts/check-deliberate-faults.sh 3 17     only these
# Prints CAUGHT or MISSED per fault and a count; exits 1 when any is missed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# file | text in it | what it becomes | the fault, in a few words. "\n" is a line end.
faults=$(cat <<'EOF'
src/worker/dmxWire.cpp|setBaudRate(dmx512::baudRate,|setBaudRate(115200,|the line runs at 115 200 bit/s
src/worker/dmxWire.cpp|QSerialPort::StopBits(dmx512::stopBits)|QSerialPort::OneStop|one stop bit
src/worker/dmxWire.cpp|QSerialPort::NoParity|QSerialPort::EvenParity|even parity
src/worker/dmxWire.cpp|!port.setDataTerminalReady(true)|false|DTR is never raised
src/worker/dmxWire_posix.cpp|return flock(|return true \|\| flock(|no lock on the device
src/worker/dmxWire.cpp|schedule.frameWritten(frame.size());|schedule.frameWritten(frame.size() - 1);|the start code left out of the byte time
src/worker/dmxWire.cpp|const qint64 remaining = deadline.remainingTime();|const qint64 remaining = -1;|no bound on a write the adapter does not take
src/worker/serialPortThread.cpp|else if (portErrorReports == reportsBeforeSend)|else|a failed send reported twice
src/worker/dmxWire.cpp|    port.clear(QSerialPort::Output);\n|\n|what Qt kept of a failed frame goes out later
src/worker/serialPortThread.cpp|breakDuration(dmx512::breakMicroseconds)|breakDuration(50)|a break of 50 us
src/worker/serialPortThread.cpp|markAfterBreakDuration(dmx512::markAfterBreakMicroseconds)|markAfterBreakDuration(8)|a mark after break of 8 us
src/worker/serialPortThread.cpp|startCode(dmx512::startCode)|startCode(0x55)|start code 0x55
src/worker/serialPortThread.cpp|    wire->waitForLastFrame();|    ;|the port closed before the last frame is out
src/worker/transferEngine.cpp|    int lastPacketLength = 0;|    static int lastPacketLength = 0;|the repetition state kept from one transfer to the next
src/worker/transferEngine.cpp|        if (cancelRequested)\n            return false;|\n|a cancel not looked at during a hold
src/worker/transferEngine.cpp|!QFileInfo(file.fileName()).isFile() \|\| ||a pipe or a device sent as update file
src/worker/transferEngine.cpp|++linesRead > countedLines \|\| changed()|++linesRead > countedLines|a file changed while sent goes on
src/worker/transferEngine.cpp|return linesRead != countedLines \|\| changed() ?|return linesRead != countedLines ?|no last look at the file
src/worker/transferEngine.cpp|emit transferFailed(fileRefused);|emit transferFailed(fileUnreadable);|a refused file told as unreadable
src/updateFile/updateFileLine.h|extraSendsOnLengthChange = 5;|extraSendsOnLengthChange = 4;|a changed packet length repeated five times in all
src/updateFile/updateFileLine.cpp|return line.startsWith('#');|return line.trimmed().startsWith('#');|a blank before "#" makes a comment
src/updateFile/updateFileLine.cpp|field.toShort(nullptr, 16)|field.toUShort(nullptr, 16)|negative bytes become 0x00
src/updateFile/updateFileLine.cpp|toUInt(nullptr, 10)|toUInt(nullptr, 16)|hold times read as hexadecimal
src/updateFile/updateFileReading.cpp|    line.resize(int(std::remove(line.begin(), line.end(), '\r') - line.begin()));\n|\n|carriage returns sent as bytes
src/updateFile/updateFileReading.h|maxLineLength = 64 * 1024;|maxLineLength = 1024 * 1024;|lines of up to 1 MiB
src/worker/sleepInhibitor.cpp|    requestLock(QStringLiteral("handle-lid-switch"));|    ;|closing the lid suspends an update
src/worker/sleepInhibitor.cpp|"Updating fixture firmware"|"Updating"|the sleep lock says too little
src/app/fileSelection.cpp|QDir::Files \| QDir::NoSymLinks|QDir::Files|the start-up scan follows links
src/app/fileSelection.cpp|QDir::Time \| QDir::Reversed|QDir::Time|the start-up scan takes the newest file
src/app/fileSelection.cpp|QDir::Files \| QDir::NoSymLinks \| QDir::CaseSensitive|QDir::Files \| QDir::NoSymLinks|upper-case extensions preselected
src/app/main.cpp|QCoreApplication::applicationDirPath() + QStringLiteral("/dll")|QStringLiteral("./dll")|plug-ins loaded from the update folder
src/app/fileSelection.cpp|if (chosen.isFile() && file.open|if (file.open|a FIFO chosen in the dialog holds the window
src/app/interfaceSelection.cpp|QStringLiteral("Current interface: ") + action->text()|QStringLiteral("Current interface:") + action->text()|the status text without its blank
src/app/interfaceSelection.cpp|        if (port->portName == selectedPortName) {|        if (true) {|a refresh keeps the operator's choice
src/app/updateControl.cpp|state == windowState::finished ? QStringLiteral("Finished!")|state == windowState::finished ? QStringLiteral("Done!")|the button ends as "Done!"
src/app/updateControl.cpp|setRange(0, updateFileLength)|setRange(0, updateFileLength + 1)|the progress bar never full
src/app/updateControl.cpp|    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);|    ;|late signals of a stopped worker reach the window
src/app/updateControl.cpp|    const bool wasRunning = updateRunning();\n    stopWorkerThread();|    const bool wasRunning = updateRunning();|the worker goes on while an error box is open
src/core/serialInterfaces.cpp|ports.crbegin(), ports.crend()|ports.cbegin(), ports.cend()|the first listed interface on top of the menu
src/core/serialInterfaces.cpp|QLatin1String("(Vantor2)")|QLatin1String(" (Vantor2)")|our adapters marked with an extra blank
src/core/serialInterfaces.cpp|return !port.serialNumber.isEmpty();|return true;|ports without a serial number listed
src/core/serialPortErrorText.cpp|"Serialport Error: ResourceError: Device Unavailable"|"Serialport Error: ResourceError"|an error text cut short
src/updateFile/updateFileHeader.cpp|text[0] = text.at(0).toUpper();|;|the application's name shown as written
src/cli/main.cpp|std::signal(SIGPIPE, SIG_IGN);|;|a closed pipe ends a send mid-file
src/core/stopSignals_posix.cpp|{SIGINT, SIGTERM, SIGHUP}|{SIGINT, SIGTERM}|a hangup ends a send mid-frame
src/cli/terminal.cpp|return qMax(status, exitCode::outputFailed);|return status;|output that cannot be written counts as success
src/cli/terminal.cpp|const int width = terminal::columns() - 3;|const int width = terminal::columns();|no room for the echoed ^C
src/cli/sendCommand.cpp|    result = qMax(result, status);|    result = status;|the last port's status wins
src/cli/sendCommand.cpp|terminal::columns() > 0 && !options.json ?|terminal::columns() > 0 ?|progress redrawn over JSON on a terminal
src/cli/sendCommand.cpp|case serialPortThread::interfaceFailed: return exitCode::interfaceUnavailable;|case serialPortThread::interfaceFailed: return exitCode::fileRefused;|a set-up failure told as a refused file
src/cli/main.cpp|return fault.isEmpty() ?|return true ?|one interface named twice is sent to twice
src/cli/fileCheck.cpp|return path == QLatin1String("-") \|\||return false &&|piped input read twice
src/cli/fileCheck.cpp|terminal::printLine(stderr, where|terminal::printLine(stdout, where|warnings on standard output
src/app/updateControl.cpp|    portActionGroup->setEnabled(!sending);|    portActionGroup->setEnabled(true);|the Interfaces menu changeable during an update
src/app/fixtureSoftwareUpdater.cpp|if (quitting \|\| !updateRunning() \|\| !workerThread.isRunning())|if (true)|closing during an update asks nothing
src/app/fileSelection.cpp|refusal.isEmpty() && analysis.warningCount == 0|refusal.isEmpty()|a file with warnings taken without a word
src/app/fileSelection.cpp|analysis.opened() ? analysis.refusalToSend(false)|analysis.opened() ? analysis.refusal(false)|a file without a packet line taken
src/app/updateControl.cpp|        below << runWords::partialUpdate(told);|        ;|a failure does not say what the fixture holds
src/run/runRecord.cpp|    if (listed \|\| QFileInfo::exists(location))|    if (true)|an interface that is gone not named as gone
src/app/main.cpp|    if (request.version)|    if (false)|--version needs a display
src/app/main.cpp|    QObject::connect(&stopRequests,|    if (false) QObject::connect(&stopRequests,|SIGTERM ignored while the window is open
src/app/updateControl.cpp|(wasReading && ui->updateButton->isEnabled())|false|the focus not on Start once a file is read
src/app/fixtureSoftwareUpdater.cpp|setShortcut(QKeySequence(Qt::Key_Escape))|setShortcut(QKeySequence())|Escape does not cancel
src/ui/fixtureSoftwareUpdaterForm.cpp|tr("&Interfaces")|tr("Interfaces")|the Interfaces menu out of the keyboard's reach
src/app/fixtureSoftwareUpdater.cpp|    fitIntoScreen(this);|    ;|the window larger than the screen at 200 %
src/app/fixtureSoftwareUpdater.cpp|    clearFileInformation();\n    setAcceptDrops|    setAcceptDrops|the form's sample texts taken for a header
src/app/updateControl.cpp|    showTimeLeft();|    ;|no time left on the progress bar
src/app/updateControl.cpp|    sleepLabel->show();|    ;|nothing says the computer may sleep
src/app/fileSelection.cpp|    if (takesDrops() && !droppedFile|    if (false && !droppedFile|a dropped file refused
src/app/fileSelection.cpp|    settings()->setValue(lastFolderKey,|    if (false) settings()->setValue(lastFolderKey,|the dialog forgets the last folder
src/app/updateControl.cpp|    if (buttonJustChanged())\n        return;\n    const QString buttonText|    const QString buttonText|a double-click on "Finished!" sends the file again
src/app/updateControl.cpp|    if (buttonJustChanged())\n        return;\n    if (state == windowState::readingFile)|    if (state == windowState::readingFile)|a double-click on Start reaches Cancel
src/app/updateControl.cpp|    askToStop(QStringLiteral("Stop the update?")|    emit cancelSending(); if (false) askToStop(QStringLiteral("Stop the update?")|Cancel stops without asking
src/app/fixtureSoftwareUpdater.cpp|question->setDefaultButton(keep);|question->setDefaultButton(stopButton);|Enter stops the update
src/app/updateControl.cpp|        closeQuestion();\n    }|    }|a question outlives the update
src/app/interfaceSelection.cpp|!selectedPortName.isEmpty() && !interfaceListed()|false|a gone interface stays current and usable
src/app/fileSelection.cpp|    showErrorAndReset(QStringLiteral("Couldn't open file ") + reason);|    ui->fileLabel->setText(chosen.filePath());\n    showErrorAndReset(QStringLiteral("Couldn't open file ") + reason);|a refused file shown as the chosen one
src/app/fileSelection.cpp|    reader->read(chosen.absoluteFilePath());\n    showState(windowState::readingFile);|    showState(windowState::readingFile);\n    return fileRead(analyzeUpdateFile(chosen.absoluteFilePath()));|the file read on the window's thread
src/app/fileSelection.cpp|    chosenFileLabel->setText(|    if (false) chosenFileLabel->setText(|the chosen file not named
src/app/fileSelection.cpp|const bool takesLong = analysis.wireTimeUs > longestPlainUpdateUs;|const bool takesLong = false;|a file of hours taken without a word
src/app/updateControl.cpp|    if (chosenFileChanged()) {|    if (false) {|a file changed after its choice named as it was
src/app/updateControl.cpp|    QMessageBox box(this);\n    box.setWindowTitle(windowTitleText);|    QMessageBox box;|an error box without its window
src/app/elidingLabel.cpp|    return QSize(fontMetrics()|    return QLabel::minimumSizeHint(); return QSize(fontMetrics()|a long status text widens the window
src/app/fileSelection.cpp|    dialog.resize(dialog.sizeHint());\n    fitIntoScreen(&dialog);\n|\n|the file dialog larger than the screen
src/worker/dmxWire.cpp|    if (!waitUntilAdapterHasAll(deadline))\n        return frameFailure::timedOut;\n|\n|the break does not wait for the adapter's queue
src/worker/dmxWire.cpp|        if (deadline.hasExpired())\n            return false;\n        schedule.nap(|        schedule.nap(|no bound on a queue that never empties
src/worker/dmxWire.cpp|    return probeBreak();|    return {};|an interface without a break found out at the first frame
src/worker/dmxWire_posix.cpp|errno == EOPNOTSUPP \|\| ||EOPNOTSUPP from a break taken for a port error
src/cli/fileCheck.cpp|sending ? analysis.refusalToSend(checks.strict) :|sending ? analysis.refusal(checks.strict) :|a file with nothing to send finishes
src/cli/fileCheck.cpp|analysis.sha256 != checks.expectedSha256|false|another file than expected is sent
src/cli/fileArgument_posix.cpp|QFile::encodeName(given) == raw)|true)|a name the locale cannot spell is not found
src/cli/terminal_posix.cpp|return isatty(STDIN_FILENO) == 1;|return false;|a terminal on standard input waits without a word
src/cli/onceReadInput_posix.cpp|        if (stopRequested && stopRequested()) {|        if (false) {|a signal unseen while piped input is read
src/updateFile/updateFileAnalysis.cpp|if (lineWarnings && !ended)|if (false)|a file cut short goes without a word
src/updateFile/updateFileAnalysis.cpp|else if (!fitsHoldTime(field))|else if (false)|a hold out of range said to be held
src/updateFile/updateFileAnalysis.cpp|if (more * 4 >= start.size() &&|if (false &&|UTF-16 text taken for binary data
src/updateFile/printableText.cpp|if (c.category() == QChar::Other_Control \|\| c.category() == QChar::Other_Format)|if (false)|escape sequences from a file reach the terminal
src/cli/sendCommand.cpp|each.progress.linesDone = record.linesOut;|each.progress.linesDone = record.linesPassed;|events count lines whose hold is over
src/cli/sendCommand.cpp|{"sleepInhibited", each.sleepInhibited}|{"sleepInhibited", true}|the start event says sleep is held off when it is not
src/cli/sendCommand.cpp|return location.exists() && (location.isFile() \|\| location.isDir());|return false;|a regular file as interface told as an unknown error
src/cli/main.cpp|    if (json)\n        terminal::printJson(|    if (false)\n        terminal::printJson(|a usage error leaves JSON output empty
src/cli/terminal.cpp|            forms.append(port.state);|            ;|a narrow terminal loses the port's name at the end
src/run/updateHistory.cpp|    if (last != |    if (false && last != |a record after a torn line is lost with it
src/run/updateRun.cpp|        notRecorded = history->recordStart(state);|        ;|no start record: a killed update is forgotten
src/run/updateHistory.cpp|        if (!runs.at(index).noticed && |        if (|the window tells an update again at every start
src/run/runRecord.cpp|    if (run.failureKind == serialPortThread::interfaceCannotBreak)|    if (false)|an adapter without a break left without advice
src/app/fixtureSoftwareUpdater.cpp|ui->mainLayout->addWidget(updateNoteLabel);|ui->progressGroupBox->layout()->addWidget(updateNoteLabel);|what the fixture holds hidden at the next click
src/cli/sendCommand.cpp|    if (!std::exchange(historyWarned, true))\n        warn(text);|    warn(text);|a history that cannot be written told once per port
src/run/updateHistory.cpp|    if (journal.size() + line.size() > maxJournalBytes|    if (false|a journal that grows for ever
src/worker/lineSchedule.cpp|bytesOutNs + qint64(milliseconds) * 1000000;|bytesOutNs + qint64(milliseconds) * 100000;|every hold a tenth as long
src/worker/lineSchedule.cpp|    if (woke >= targetNs) {|    if (false) {|how late sleeps wake not learned: holds stretch to Windows' timer ticks
src/worker/lineSchedule.cpp|    if (nowNs < crowdedUntilNs)|    if (false)|spins cut by other lines not heeded: eight lines on two cores take three times as long
src/worker/lineSchedule.cpp|qMin(late[counted - 1], median + 3 * distance[counted / 2])|late[counted - 1]|a busy machine's late wakes leave the worker spinning
src/worker/lineSchedule.cpp|    spinUntil(deadlineNs);\n|\n|a wait ends with its sleep, early where the system cuts sleeps short
src/worker/dmxWire.cpp|    while (outputQueueBytes() > 0) {|    while (outputQueueBytes() != 0) {|a queue that cannot be read taken for a full one
EOF
)

usage() { echo "usage: $0 [FAULT-NUMBER ...]" >&2; exit 2; }
for number in "$@"; do [[ "$number" =~ ^[1-9][0-9]*$ ]] || usage; done

"$root/scripts/install-dependencies.sh"
# Fresh times on the copy: a build left by an earlier run, perhaps with a fault in it, is never taken as current.
copy="$root/build-faults/source" build="$root/build-faults/build"
rm -rf "$copy" && mkdir -p "$copy"
git -C "$root" ls-files -z | tar -C "$root" --null -T - -cf - | tar -C "$copy" -xmf -
cmake -S "$copy" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_QT=5 -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" >/dev/null
(cd "$build" && ctest --parallel 2 >/dev/null) || { echo "check-deliberate-faults: the suite fails without a fault" >&2; exit 1; }

caught=0 missed=0 number=0
while IFS= read -r spec; do
    number=$((number + 1))
    [ $# -eq 0 ] || [[ " $* " == *" $number "* ]] || continue
    file="${spec%%|*}" what="${spec##*|}" change="${spec#*|}"
    cp "$root/$file" "$copy/$file"
    # The text and what it becomes, split at the "|" between them; "\|" is a "|" of the text.
    if ! CHANGE="${change%|*}" perl -0pi -e 'BEGIN { ($f, $t) = map { s/\\n/\n/gr =~ s/\\\|/|/gr }
            split /(?<!\\)\|/, $ENV{CHANGE}, 2 } $n += s/\Q$f\E/$t/; END { exit !$n }' "$copy/$file"; then
        echo "check-deliberate-faults: fault $number: text not found in $file" >&2
        exit 1
    fi
    if ! cmake --build "$build" --parallel "$(nproc)" >/dev/null 2>&1; then
        echo "check-deliberate-faults: fault $number does not build" >&2
        exit 1
    fi
    if (cd "$build" && timeout 600 ctest --parallel 2 --stop-on-failure >/dev/null 2>&1); then
        result=MISSED missed=$((missed + 1))
    else
        result=CAUGHT caught=$((caught + 1))
    fi
    printf '%2d %-6s %s (%s)\n' "$number" "$result" "$what" "$file"
    cp "$root/$file" "$copy/$file"
done <<<"$faults"
echo "$caught of $((caught + missed)) deliberate faults caught"
[ "$missed" -eq 0 ]
