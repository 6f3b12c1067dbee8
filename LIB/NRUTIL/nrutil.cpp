#include "nrutil.h"

#include <cstdio>
#include <cstdlib>

#include "../CONSOLE/console.h"
#include "regions.h"

namespace {

// Every block the library hands out goes back through here: a line of a
// region, or an ordinary block.
void give_back(void *p)
{
    if (p && !region_give_back(p)) free(p);
}

template <typename T>
T **new_matrix(int NbCol, int NbLig)
{
    if (NbCol < 1 || NbLig < 1) return nullptr;
    T **buff = static_cast<T **>(calloc(static_cast<size_t>(NbLig), sizeof(T *)));
    if (!buff) return nullptr;
    size_t stride;
    if (char *region = region_take(sizeof(T) * static_cast<size_t>(NbCol), NbLig, &stride)) {
        for (int i = 0; i < NbLig; i++) buff[i] = reinterpret_cast<T *>(region + static_cast<size_t>(i) * stride);
        return buff;
    }
    for (int i = 0; i < NbLig; i++) {
        buff[i] = static_cast<T *>(calloc(static_cast<size_t>(NbCol), sizeof(T)));
        if (!buff[i]) {
            // Leaking the lines already obtained would make a retry with
            // smaller sizes fail too: give them back.
            for (int j = 0; j < i; j++) free(buff[j]);
            free(buff);
            return nullptr;
        }
    }
    return buff;
}

template <typename T>
void free_matrix(T **Mat, int NbLig)
{
    if (!Mat) return;
    for (int i = 0; i < NbLig; i++) give_back(Mat[i]);
    free(Mat);
}

template <typename T>
T *new_vector(int NbCol)
{
    if (NbCol < 1) return nullptr;
    return static_cast<T *>(calloc(static_cast<size_t>(NbCol), sizeof(T)));
}

}  // namespace

float **fmatrice(int NbCol, int NbLig) { return new_matrix<float>(NbCol, NbLig); }
unsigned char **ucmatrice(int NbCol, int NbLig) { return new_matrix<unsigned char>(NbCol, NbLig); }
unsigned short **usmatrice(int NbCol, int NbLig) { return new_matrix<unsigned short>(NbCol, NbLig); }
short **smatrice(int NbCol, int NbLig) { return new_matrix<short>(NbCol, NbLig); }
int **imatrice(int NbCol, int NbLig) { return new_matrix<int>(NbCol, NbLig); }
double **dmatrice(int NbCol, int NbLig) { return new_matrix<double>(NbCol, NbLig); }
long double **ldmatrice(int NbCol, int NbLig) { return new_matrix<long double>(NbCol, NbLig); }

void frfmatrice(float **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frucmatrice(unsigned char **Mat, int NbLig) { free_matrix(Mat, NbLig); }

void frusmatrice(unsigned short **Mat, int NbLig)
{
    printf("\n NbLig en frusmatrice %d ", NbLig);
    wait_key();
    free_matrix(Mat, NbLig);
}

void frsmatrice(short **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frimatrice(int **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frdmatrice(double **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frldmatrice(long double **Mat, int NbLig) { free_matrix(Mat, NbLig); }

unsigned char *ucvecteur(int NbCol) { return new_vector<unsigned char>(NbCol); }
void frucvecteur(unsigned char *Mat) { give_back(Mat); }
unsigned short *usvecteur(int NbCol) { return new_vector<unsigned short>(NbCol); }
void frusvecteur(unsigned short *Mat) { give_back(Mat); }
short *svecteur(int NbCol) { return new_vector<short>(NbCol); }
void frsvecteur(short *Mat) { give_back(Mat); }
int *ivecteur(int NbCol) { return new_vector<int>(NbCol); }
void frivecteur(int *Mat) { give_back(Mat); }
double *dvecteur(int NbCol) { return new_vector<double>(NbCol); }
void frdvecteur(double *Mat) { give_back(Mat); }
float *fvecteur(int NbCol) { return new_vector<float>(NbCol); }
void frfvecteur(float *Mat) { give_back(Mat); }
