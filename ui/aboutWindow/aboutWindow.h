#pragma once

#include "highContrast.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace morvant {

/** The About window: the version, the copyright line and the freeware notice.
    One exists at a time for the whole application; it has no owner, so the
    main window stays usable while it is open. */
class AboutWindow : public QDialog
{
    Q_OBJECT

public:
    /** Shows the application's About window, modeless: creates and loads it
        when it is not loaded, and only brings it to the front when it is.
        Returns at once. */
    static AboutWindow *showAbout();

    /// The loaded About window, or nullptr when there is none.
    static AboutWindow *instance();

    /** Whether a high-contrast scheme is on, asked when the window is made:
        systemHasHighContrast(), unless a test gives its own answer. */
    static inline bool (*hasHighContrast)() = systemHasHighContrast;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    AboutWindow();
    void load();

    QFrame *aboutFrame;
    QPushButton *aboutButton;
    QLabel *lblVersion;
    QLabel *lblWarning;
    QLabel *lblCopyright2;
    QLabel *lblCopyright;
    QLabel *imgCD;
    QLabel *imgLogo;
};

} // namespace morvant
