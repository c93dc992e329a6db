#include "fixtureSoftwareUpdater.h"

#include <QDebug>
#include <QMessageBox>

#include "plainMessageBox.h"

namespace {

constexpr int updatesShown = 5;

} // namespace

// An update that did not finish may have left part of itself in a fixture, the one outcome a technician must not
// lose track of: told at start, once for each, until the same file has gone whole through the same interface.
void fixtureSoftwareUpdater::tellUnfinishedUpdates()
{
    QStringList warnings;
    const QVector<runRecord> untold = historyQueries::untold(history.runs(&warnings));
    for (const QString &warning : std::as_const(warnings))
        qWarning().noquote() << warning;
    if (untold.isEmpty())
        return;
    QStringList told;
    for (const runRecord &unfinished : untold.mid(0, updatesShown))
        told << runWords::summary(unfinished) + QLatin1Char('\n') + runWords::partialUpdate(unfinished);
    if (untold.size() > updatesShown)
        told << QStringLiteral("... and %1 more: 'orvana-firmware-tool history' lists them.").arg(untold.size() - updatesShown);
    QMessageBox box(this);
    box.setWindowTitle(windowTitleText);
    box.setIcon(QMessageBox::Warning);
    setPlainTexts(box, untold.size() == 1 ? QStringLiteral("An update did not finish.")
                                          : QStringLiteral("%1 updates did not finish.").arg(untold.size()),
                  told.join(QStringLiteral("\n\n")));
    box.exec();
    for (const runRecord &unfinished : untold)
        history.recordNoticed(unfinished.runId);
}
