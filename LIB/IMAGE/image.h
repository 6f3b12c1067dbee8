#ifndef IMAGE_H
#define IMAGE_H
#endif
