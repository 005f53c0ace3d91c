/* Plays an EMF onto a white 24-bit DIB of W x H and writes it as a BMP. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
int main(int argc, char **argv)
{
    if (argc < 5) { fprintf(stderr, "usage: render IN.emf OUT.bmp W H\n"); return 2; }
    HENHMETAFILE emf = GetEnhMetaFileA(argv[1]);
    if (!emf) { fprintf(stderr, "cannot open %s\n", argv[1]); return 1; }
    int w = atoi(argv[3]), h = atoi(argv[4]);
    HDC dc = CreateCompatibleDC(NULL);
    BITMAPINFO bi; ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w; bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1; bi.bmiHeader.biBitCount = 24;
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, w, h, WHITENESS);
    RECT r = {0, 0, w, h};
    PlayEnhMetaFile(dc, emf, &r);
    GdiFlush();
    int stride = ((w * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER fh; ZeroMemory(&fh, sizeof fh);
    fh.bfType = 0x4D42; fh.bfOffBits = sizeof fh + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + stride * h;
    FILE *f = fopen(argv[2], "wb");
    fwrite(&fh, sizeof fh, 1, f); fwrite(&bi.bmiHeader, sizeof(BITMAPINFOHEADER), 1, f);
    fwrite(bits, stride, h, f); fclose(f);
    return 0;
}
