// Where Zelk's message boxes and questions go. The application shows them with
// QMessageBox; the tests install a sink of their own so that nothing blocks on
// a modal box.
#ifndef ZELK_MESSAGESINK_H
#define ZELK_MESSAGESINK_H

#include <QString>

class QWidget;

class MessageSink {
public:
    virtual ~MessageSink();

    // Shows text in the application's standard message box: an OK button, no icon.
    virtual void Show(QWidget* parent, const QString& text) = 0;

    // Asks whether to save changes before they are dropped (Save, Discard, Cancel).
    enum SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice AskToSave(QWidget* parent, const QString& text) = 0;

    // The sink in use; a QMessageBox sink unless one was installed.
    static MessageSink& Current();
    // Installs sink (not owned); nullptr restores the QMessageBox sink.
    static void Install(MessageSink* sink);
};

#endif
