// The strip above the panes that says what they are.
#ifndef ZELK_CCAPTIONBAR_H
#define ZELK_CCAPTIONBAR_H

#include <QFrame>

class QLabel;

class CCaptionBar : public QFrame {
    Q_OBJECT
public:
    explicit CCaptionBar(const QString& text, QWidget* parent = nullptr);
    QString Text() const;

private:
    QLabel* label;
};

#endif
