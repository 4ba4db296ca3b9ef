#pragma once

#include "jobs/job_records.h"

namespace kelvora {

// How a job tells the window it started and how it ended. Start puts the window into
// its running state (Start, job kinds, frame boxes and "All" disabled; Stop shown);
// each ending returns it to the idle state. The endings release the record's path
// copies. Each returns 1.

int initThreadSound(Picture_Parameters& record);
int errorReadPic(Picture_Parameters& record);  // shows "Wrong file format !!!"
int killThreadPic(Picture_Parameters& record);
// Leaves the frame boxes disabled when "All" is checked.
int ThreadEndPic(Picture_Parameters& record);

int initThreadImage(Image_Parameters& record);
int errorReadIm(Image_Parameters& record);  // shows "Wrong file format !!!"
int killThreadIm(Image_Parameters& record);
int ThreadEndIm(Image_Parameters& record);

}  // namespace kelvora
