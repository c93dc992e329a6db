#include "elidingLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

elidingLabel::elidingLabel(QWidget *parent) : QLabel(parent)
{
    // A file's words or a device's name may look like markup.
    setTextFormat(Qt::PlainText);
}

QSize elidingLabel::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) + margins.left() + margins.right(),
                 QLabel::minimumSizeHint().height());
}

void elidingLabel::setDetail(const QString &more)
{
    detail = more;
    // Until it is painted and found too long for its room.
    setToolTip(detail);
    update();
}

void elidingLabel::paintEvent(QPaintEvent *)
{
    const QRect room = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
    QStringList tip;
    if (shown != text())
        tip << text();
    if (!detail.isEmpty())
        tip << detail;
    if (toolTip() != tip.join(QLatin1Char('\n')))
        setToolTip(tip.join(QLatin1Char('\n')));
    QPainter painter(this);
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}
