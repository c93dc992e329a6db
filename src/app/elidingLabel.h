#ifndef ELIDINGLABEL_H
#define ELIDINGLABEL_H

#include <QLabel>

// A one-line label that asks for no more width than an ellipsis: a text longer than the room it is given is cut
// short, and the whole text becomes its tool tip. At 200 % a long status text would widen the window past the
// screen.
class elidingLabel : public QLabel
{
public:
    explicit elidingLabel(QWidget *parent = nullptr);
    QSize minimumSizeHint() const override;
    // More to say than the text, in the tool tip.
    void setDetail(const QString &detail);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString detail;
};

#endif // ELIDINGLABEL_H
