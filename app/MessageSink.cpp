#include "MessageSink.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class BoxSink : public MessageSink {
public:
    void Show(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                        QMessageBox::Ok, parent);
        box.exec();
    }

    SaveChoice AskToSave(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        switch (box.exec()) {
        case QMessageBox::Save:
            return Save;
        case QMessageBox::Discard:
            return Discard;
        default:
            return Cancel;
        }
    }
};

BoxSink boxSink;
MessageSink* installed = nullptr;

} // namespace

MessageSink::~MessageSink() = default;

MessageSink& MessageSink::Current()
{
    return installed != nullptr ? *installed : static_cast<MessageSink&>(boxSink);
}

void MessageSink::Install(MessageSink* sink)
{
    installed = sink;
}
