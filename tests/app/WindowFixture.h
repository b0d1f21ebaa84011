#pragma once

#include "app/MainForm.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QLocale>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace pw::test {

// A window built in a sandbox: its settings store and per-user overlay live in a temporary
// folder, the locale is fixed (English, United States) so texts are known. A test may write the
// store before calling makeForm().
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qputenv("PAGEWARDEN_REGISTRY", registryPath());
        qputenv("XDG_CONFIG_HOME", settings.path("config"));
    }
    void TearDown() override { form.reset(); }

    QByteArray registryPath() const { return settings.path("registry.reg"); }
    void writeRegistry(const QByteArray& values) const {
        settings.write("registry.reg",
                       "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]\n" + values);
    }

    MainForm& makeForm() {
        form = std::make_unique<MainForm>();
        return *form;
    }
    // Shown and active, so that focus and key events behave as for a user.
    MainForm& showForm() {
        MainForm& f = form ? *form : makeForm();
        f.show();
        f.activateWindow();
        waitFor([&] { return QApplication::activeWindow() == &f; });
        return f;
    }

    template <typename T = QWidget>
    T* control(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }

    // Serves events until the condition holds; fails the test after a generous limit.
    static bool waitFor(const std::function<bool()>& condition) {
        const bool met = pw::test::waitFor(condition);
        if (!met) ADD_FAILURE() << "condition not met in time";
        return met;
    }

    TempTree settings;
    std::unique_ptr<MainForm> form;
};

} // namespace pw::test
