#pragma once
// Confyg.ini in the program folder: the main window's placement, the
// thumbnail style and size, the edit panel's height and the folder pane's
// width, in the section "Base".
#include <QString>

namespace tessaron {

class TForm1;

// Where the configuration is looked up: beside the executable.
QString configurationFile();

// Applies the stored placement and choices to a newly created window. An
// incomplete "Custom" placement throws the integer conversion error after
// applying the bounds before the faulty one; the choices are then left as
// they were.
void readConfiguration(TForm1& form);

// Stores the window's current state. Throws "Unable to write to ..." when
// the file can't be written.
void writeConfiguration(const TForm1& form);

}  // namespace tessaron
