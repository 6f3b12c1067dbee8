// The messages of the program's stops and warnings, the notice of a missing
// descriptor and the refusal of a name too long, so that their texts are
// read and reviewed in one place. Stops end the run with exit status 1, but
// MSG_NOT_ANY_TREATMENT (the answer no, status 0).
//
// Texts that live elsewhere: the refusal of a word that is not a number,
// the end of input and the failed standard output in LIB/PLATFORM/console.cpp
// (the console's own, for any caller); the "frusmatrice" line in
// LIB/NRUTIL/nrutil.cpp; the dialogue's questions, menus and results next
// to the step that prints them (opening.cpp, dem_lecture.cpp,
// treatment.cpp), and the grid's progress line in ascii_lecture.cpp. The
// end-to-end tests take the texts they expect from tests/e2e/dialogue.py.
#ifndef MESSAGES_H
#define MESSAGES_H

// Opening: the model, the descriptor, the size.
#define MSG_NAME_TOO_LONG "\n\tThis name is too long: the path would be longer than %zu characters.\n"
#define MSG_MODEL_UNKNOWN "\n File %s unknown\n"
#define MSG_NO_DESCRIPTOR "\n No File %s \n\n"
#define MSG_IMPOSSIBLE_SIZE "\n\n\tThe model size given %s is impossible: %d lines and %d columns.\n"
#define MSG_DESCRIPTOR_ENDS "\n\n\tThe descriptor %s ends before the number of %s.\n"
#define MSG_DESCRIPTOR_NOT_WHOLE "\n\n\tThe descriptor %s holds \"%s\" where a whole number is expected.\n"
#define MSG_DESCRIPTOR_NOT_NUMBER "\n\n\tThe descriptor %s holds \"%s\" where a number is expected.\n"
#define MSG_DESCRIPTOR_UNCREATABLE \
    "\n\tWarning: the descriptor %s cannot be created; the model is read without it.\n"

// The readers.
#define MSG_BAD_DIMENSIONS "\n\n\tThe model cannot have %d lines and %d columns.\n"
#define MSG_RASTER_SHORT                                                                \
    "\n\n\tThe raster file is too short: %d lines of %d samples of %d bytes need %llu " \
    "bytes, the file holds %lld.\n"
#define MSG_RASTER_UNREADABLE "\n\n\tThe raster file could not be read.\n"
#define MSG_DESCRIPTOR_TAKEN \
    "\n\tWarning: %s appeared while the model was read; the descriptor is not written over it.\n"
#define MSG_GRID_TOO_BIG                                                         \
    "\n\n\tThe grid header announces %d lines and %d columns: more values than " \
    "the %lld bytes left in the file can hold.\n"
#define MSG_GRID_BAD_VALUE "\n\n\tGrid line %d, column %d: \"%s\" is not a number.\n"
#define MSG_GRID_ENDS "\n\n\tGrid line %d, column %d: the file ends before this value.\n"
#define MSG_GRID_BAD_HEADER "\n\n\tGrid header: the value of %s is not %s: \"%s\".\n"
#define MSG_GRID_HEADER_ENDS "\n\n\tGrid header: the file ends before the value of %s.\n"
#define MSG_GRID_HEADER_WITHOUT "\n\n\tGrid header: the header ends without the value of %s.\n"
// A word longer than the grid reader's window, shown by its start.
#define MSG_GRID_HEADER_LONG \
    "\n\n\tGrid header: the word \"%s...\" is too long: a word may have at most %d characters.\n"
#define MSG_GRID_LONG_VALUE                                                                      \
    "\n\n\tGrid line %d, column %d: the word \"%s...\" is too long: a word may have at most %d " \
    "characters.\n"
#define MSG_GRID_UNREADABLE "\n\n\tThe grid file could not be read.\n"

// The search and the mask.
#define MSG_NO_MEMORY "\n\n\tNot enough memory for a model of %d lines and %d columns.\n"
#define MSG_NOT_ANY_TREATMENT "\n\n\tNot any treatment "
#define MSG_IMAGE_UNWRITTEN "\n\n\tThe image %s cannot be written.\n"
#define MSG_WORLD_FILE_UNWRITTEN \
    "\n\tWarning: the world file %s cannot be written; the mask is saved without it.\n"
// ... when an older world file of that name stays, and places the new mask.
#define MSG_WORLD_FILE_KEPT                                                                         \
    "\n\tWarning: the world file %s cannot be written; the older one is left as it was and places " \
    "the mask as it placed the older image.\n"
// A raw raster's mask saved beside a world file: none was written for it.
#define MSG_WORLD_FILE_FOREIGN \
    "\n\tWarning: the world file %s was not written for this model and may place the mask wrongly.\n"

#endif
