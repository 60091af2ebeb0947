#ifndef STEPS_H
#define STEPS_H

// The steps of a firmware installation, as installStat counts them: the
// installation's states each belong to one (Installation::step).
namespace InstallStep {
enum : int {
    Idle = 0,
    Connect = 1,        // open the link; the listing follows
    Backup = 2,         // save every listed file into "files"
    Disconnect = 3,     // close the link; the close takes the next step
    Flash = 4,          // run the flashing script; on success open the link again
    Restore = 5,        // put the data files and the language file back
    Complete = 6,       // restart the receiver and end
};
}

#endif
