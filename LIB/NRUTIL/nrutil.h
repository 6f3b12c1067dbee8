// NRUTIL: row-pointer matrices and vectors of every numeric element type.
//
// A matrix is an array of NbLig line pointers, each line a zero-filled block
// of its own holding NbCol elements; cell (l, c) is Mat[l][c]. The matrix keeps
// no record of its size: the caller keeps NbCol and NbLig and hands the line
// count back to the releaser of the same element type. (The lines of a large
// matrix come from one region of pages faulted in at once, see regions.h; to
// its users and releasers each is still a block of its own.)
//
// Allocators take the columns first, then the lines, and return null when a
// request fails or when a count is below 1 (no matrix or vector is empty).
// Nothing here prints or waits, except frusmatrice (see below).
#ifndef NRUTIL_H
#define NRUTIL_H

// Matrices. Null on failure or on NbCol < 1 or NbLig < 1; a failure part-way
// gives back the lines already obtained.
float **fmatrice(int NbCol, int NbLig);
unsigned char **ucmatrice(int NbCol, int NbLig);
unsigned short **usmatrice(int NbCol, int NbLig);
short **smatrice(int NbCol, int NbLig);
int **imatrice(int NbCol, int NbLig);
double **dmatrice(int NbCol, int NbLig);
long double **ldmatrice(int NbCol, int NbLig);

// Releasers: lines 0 to NbLig-1, then the pointer array. A null matrix
// releases nothing. frusmatrice first prints "\n NbLig en frusmatrice %d "
// and waits for one key press.
void frfmatrice(float **Mat, int NbLig);
void frucmatrice(unsigned char **Mat, int NbLig);
void frusmatrice(unsigned short **Mat, int NbLig);
void frsmatrice(short **Mat, int NbLig);
void frimatrice(int **Mat, int NbLig);
void frdmatrice(double **Mat, int NbLig);
void frldmatrice(long double **Mat, int NbLig);

// Vectors: one zero-filled block of NbCol elements; null on failure or on
// NbCol < 1. Releasing a null vector does nothing.
unsigned char *ucvecteur(int NbCol);
void frucvecteur(unsigned char *Mat);
unsigned short *usvecteur(int NbCol);
void frusvecteur(unsigned short *Mat);
short *svecteur(int NbCol);
void frsvecteur(short *Mat);
int *ivecteur(int NbCol);
void frivecteur(int *Mat);
double *dvecteur(int NbCol);
void frdvecteur(double *Mat);
float *fvecteur(int NbCol);
void frfvecteur(float *Mat);

#endif
