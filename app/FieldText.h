#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>

class QLineEdit;

namespace pw {

// What a one-line text holds now, readable from any thread (a cleaning job on a worker thread
// reads the rule and the keyword this way): a copy kept in step with every change of the field.
class TFieldText : public QObject {
    Q_OBJECT

public:
    explicit TFieldText(QLineEdit* field);
    QByteArray text() const;

private:
    mutable QMutex m_mutex;
    QByteArray m_text;
};

} // namespace pw
