#pragma once

#include "jobs/controls.h"

namespace kelvora {

// How a job tells the window it started and how it ended, in a soundtrack and a
// movie variant. Start puts the window into its running state (Start, the job kinds,
// the frame boxes and "All" disabled; Stop shown; the progress bar set up for the
// frames startFrame..stopFrame); each ending returns it to the idle state. Each
// returns 1.

int initThreadSound(Controls& controls, int startFrame, int stopFrame);
int errorReadPic(Controls& controls);  // shows "Wrong file format !!!"
int killThreadPic(Controls& controls);
// Leaves the frame boxes disabled when "All" is checked.
int ThreadEndPic(Controls& controls);

int initThreadImage(Controls& controls, int startFrame, int stopFrame);
int errorReadIm(Controls& controls);  // shows "Wrong file format !!!"
int killThreadIm(Controls& controls);
int ThreadEndIm(Controls& controls);

}  // namespace kelvora
