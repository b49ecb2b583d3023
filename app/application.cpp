#include "application.h"

#include "error_handler.h"
#include "main_window.h"
#include "mod_editor.h"
#include "prompter.h"
#include "reg_file_store.h"
#include "server_editor.h"

#ifdef _WIN32
#include "win32_registry_store.h"
#endif

LauncherWindows createWindows(TForm1& main) {
    LauncherWindows w;
    w.modEditor = new TForm2(main);
    w.serverEditor = new TForm3(main);
    TForm1::Windows open;
    open.modEditor = w.modEditor;
    open.serverEditor = w.serverEditor;
    main.setWindows(open);
    return w;
}

int runLauncher(int argc, char** argv, const std::function<void(QWidget*)>& afterShow) {
    QuorvaleApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvale"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvale"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvale.png")));
    applyApplicationFont(app);

    QtPrompter prompter;
    setErrorPrompter(&prompter);
#ifdef _WIN32
    quorvale::Win32RegistryStore store;
#else
    quorvale::RegFileStore store(quorvale::RegFileStore::defaultPath());
#endif
    quorvale::SystemProcessStarter starter;
    AppContext context{&store, &starter, &prompter, quorvale::userProfileFolder()};

    TForm1 form1(context);
    createWindows(form1);
    QObject::connect(&form1, &TForm1::closed, &app, &QApplication::quit);
    form1.show();
    if (afterShow)
        afterShow(&form1);
    const int rc = app.exec();
    setErrorPrompter(nullptr);
    return rc;
}
