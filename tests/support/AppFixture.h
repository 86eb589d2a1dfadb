#pragma once

#include "app/Fmain.h"
#include "app/Windows.h"
#include "gui/settings/SB_settings.h"
#include "support/Child.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"

#include <QFile>
#include <QUrl>
#include <gtest/gtest.h>

namespace qbtest {

// Creates the program's windows over a settings file of the test's choosing (none: first
// start), with dialogs scripted and the desktop shell replaced by a recorder.
class AppFixture : public ::testing::Test
{
protected:
    // Write settingsText (when not null) as the settings file, then create the windows.
    void StartApp(const char* settingsText = nullptr);
    // StartApp without the windows: the settings file, scripted dialogs and the shell recorder.
    void PrepareStart(const char* settingsText = nullptr);
    void TearDown() override;

    TFmain* Main() const { return Windows().Fmain; }
    TD_SB_settings* Settings() const { return Windows().D_SB_settings; }
    TOrbPigger& Root() const { return Windows().D_SB_settings->Root(); }
    template <class T = QWidget> T* Part(const char* name) const { return Child<T>(Main(), name); } // by objectName
    static QByteArray SettingsFileBytes();

    QList<QUrl> opened;

private:
    StrayModalGuard m_strayModals;
};

} // namespace qbtest
