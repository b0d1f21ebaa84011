#include "app/FieldText.h"

#include <QLineEdit>
#include <QMutexLocker>

namespace pw {

TFieldText::TFieldText(QLineEdit* field)
    : QObject(field)
    , m_text(field->text().toUtf8()) {
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        QMutexLocker lock(&m_mutex);
        m_text = bytes;
    });
}

QByteArray TFieldText::text() const {
    QMutexLocker lock(&m_mutex);
    return m_text;
}

} // namespace pw
