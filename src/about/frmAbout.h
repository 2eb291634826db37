#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace loftwick {

class Button;
class Label;
class clsBrowser;

// The About window's controls; the window that shows them owns them.
struct frmAboutControls {
    Label& lblTitle;  // the product name
    Label& lblVersion;
    Label& lblDescription;
    Label& lblDisclaimer;
    Label& lblHomePage;  // the caption in front of the link
    Label& lnkHomePage;  // a label shown as a link; its window calls lnkHomePage_Click on a click
    Button& cmdOK;
    Button& cmdSysInfo;
};

// What the model needs of its window besides the controls.
class frmAboutWindow {
  public:
    virtual ~frmAboutWindow() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    // Closes the window. The model may be destroyed once the current event is over, never during it.
    virtual void Unload() = 0;
};

// The About window model: title, version, the texts of the chosen language, and a link to the help page
// that ships with the program (no other home page is known). It is not modal.
class frmAbout {
  public:
    // Connects the buttons; the controls, the window and the browser must outlive the model.
    frmAbout(frmAboutWindow& window, const frmAboutControls& controls, clsBrowser& browser);
    ~frmAbout();
    frmAbout(const frmAbout&) = delete;
    frmAbout& operator=(const frmAbout&) = delete;

    // Fills the texts from the language files; the language must have been chosen (GetUserLanguage).
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click() { StartSysInfo(); }
    // Shows the link's page in the web browser and closes the window.
    void lnkHomePage_Click();

    // Starts a system-information program: the one the registry names, else the first of the known
    // Linux ones found on PATH; else says "System Information Is Unavailable At This Time".
    void StartSysInfo();

  private:
    frmAboutWindow& window_;
    frmAboutControls controls_;
    clsBrowser& browser_;
};

// The link's text before the language's part is appended: the help page of the chosen language, so
// that with a Russian interface, where "index_ru.html" is appended, the base is the page's folder.
std::string HomePageBase();

// Reads one value below a registry root (only HKEY_LOCAL_MACHINE is there, from the Wine prefix). A text
// becomes KeyVal; a 32-bit number becomes its decimal text (as a signed 32-bit number); other kinds of
// value leave KeyVal as it was. False, with KeyVal emptied, when the key or value is missing or longer
// than 1024 bytes. Never throws.
bool GetKeyValue(uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal);

// The system-information programs looked for on PATH, in order.
const std::vector<std::string>& KnownSystemInfoPrograms();

// The full path of an executable file `name` in one of the absolute folders of PATH, "" when none has
// it. Relative PATH entries (the current folder) are passed over: what lies there is not trusted.
std::string FindProgramOnPath(const std::string& name);

}  // namespace loftwick
