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
