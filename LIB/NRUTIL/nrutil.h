// NRUTIL: row-pointer matrices and vectors of every numeric element type.
//
//   double **m = dmatrice(NbCol, NbLig);  // m[l][c]: l < NbLig, c < NbCol, all 0
//   frdmatrice(m, NbLig);
//
// A matrix is an array of NbLig line pointers, each line a zero-filled block
// of its own of NbCol elements; it records neither its size nor its type.
// Allocators take the columns first, and return null for a count below 1 or
// when the memory cannot be had (having given back what they took). A line
// goes back only through the releasers: with its matrix, or alone through
// the vector releaser of its type; never through free() or delete. Nothing
// here prints or waits, except frusmatrice.
#ifndef NRUTIL_H
#define NRUTIL_H

float **fmatrice(int NbCol, int NbLig);
unsigned char **ucmatrice(int NbCol, int NbLig);
unsigned short **usmatrice(int NbCol, int NbLig);
short **smatrice(int NbCol, int NbLig);
int **imatrice(int NbCol, int NbLig);
double **dmatrice(int NbCol, int NbLig);
long double **ldmatrice(int NbCol, int NbLig);

// Lines 0 to NbLig-1, then the pointer array (a null matrix: nothing).
// frusmatrice first prints "\n NbLig en frusmatrice %d " and waits for a key.
void frfmatrice(float **Mat, int NbLig);
void frucmatrice(unsigned char **Mat, int NbLig);
void frusmatrice(unsigned short **Mat, int NbLig);
void frsmatrice(short **Mat, int NbLig);
void frimatrice(int **Mat, int NbLig);
void frdmatrice(double **Mat, int NbLig);
void frldmatrice(long double **Mat, int NbLig);

// One zero-filled block of NbCol elements, null on failure or NbCol < 1,
// and its releaser (a null vector releases nothing).
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
