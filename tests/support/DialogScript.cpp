#include "support/DialogScript.h"

#include "core/common/QbError.h"
#include "core/dialogs/DialogSeam.h"

namespace {

class TScriptedSeam : public TDialogSeam
{
public:
    void Message(const QString& text) override { DialogScript::Record(text); }
    bool Confirm(const QString& question) override { return DialogScript::TakeAnswer(question); }
    bool ConfirmChecked(const QString& question) override { return DialogScript::TakeAnswer(question); }
    QString ChooseFile(const QString& caption) override { return DialogScript::TakeFileName(caption); }
    QString TypeText(const QString& caption) override { return DialogScript::TakeText(caption); }
};

TScriptedSeam g_scripted;

struct Script
{
    bool active = false;
    QList<bool> answers;
    QStringList fileNames;
    QStringList texts;
    QStringList shown;
};

Script& S()
{
    static Script s;
    return s;
}
} // namespace

bool DialogScript::Active()
{
    return S().active;
}

void DialogScript::Start()
{
    S() = Script{};
    S().active = true;
    TDialogSeam::Install(&g_scripted);
}

void DialogScript::Stop()
{
    S() = Script{};
    if (TDialogSeam::Installed() == &g_scripted)
        TDialogSeam::Install(nullptr);
}

void DialogScript::QueueAnswers(const QList<bool>& answers)
{
    S().answers += answers;
}
void DialogScript::QueueFileNames(const QStringList& names)
{
    S().fileNames += names;
}
void DialogScript::QueueTexts(const QStringList& texts)
{
    S().texts += texts;
}

QStringList DialogScript::Shown()
{
    return S().shown;
}
QString DialogScript::LastShown()
{
    return S().shown.isEmpty() ? QString() : S().shown.constLast();
}
int DialogScript::PendingAnswers()
{
    return int(S().answers.size());
}

void DialogScript::Record(const QString& text)
{
    S().shown.append(text);
}

bool DialogScript::TakeAnswer(const QString& question)
{
    Record(question);
    if (S().answers.isEmpty())
        throw QbError(QStringLiteral("DialogScript: no answer queued for: ") + question);
    return S().answers.takeFirst();
}

QString DialogScript::TakeFileName(const QString& caption)
{
    Record(caption);
    if (S().fileNames.isEmpty())
        throw QbError(QStringLiteral("DialogScript: no file name queued for: ") + caption);
    return S().fileNames.takeFirst();
}

QString DialogScript::TakeText(const QString& caption)
{
    Record(caption);
    if (S().texts.isEmpty())
        throw QbError(QStringLiteral("DialogScript: no text queued for: ") + caption);
    return S().texts.takeFirst();
}
