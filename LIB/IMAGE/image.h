// Placeholder until the image library lands: the writer's declaration.
#ifndef IMAGE_H
#define IMAGE_H
struct Color32 {
    unsigned char B, G, R, O;
};
int SauveBMP(const char *Nom, unsigned char **Buff, int NbCol, int NbLig, int Type, Color32 *ColorMAP);
#endif
