/* Plays an EMF onto a white 24-bit DIB of W x H and writes it as a BMP.
 * Records are played one by one so that EMR_EXTCREATEPEN can be read with its on-disk
 * (32-bit) layout: 64-bit builds of the player read it with a pointer-sized hatch field
 * and fail to create the pen. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct {
    DWORD ihPen, offBmi, cbBmi, offBits, cbBits;
    DWORD style, width, brushStyle;
    COLORREF color;
    DWORD hatch, numEntries;
    DWORD entries[1];
} ExtCreatePenRecord;

static int CALLBACK play(HDC dc, HANDLETABLE *table, const ENHMETARECORD *r, int handles, LPARAM unused)
{
    (void)unused;
    if (r->iType == EMR_EXTCREATEPEN && r->nSize >= 8 + 44) {
        const ExtCreatePenRecord *p = (const ExtCreatePenRecord *)r->dParm;
        LOGBRUSH lb;
        DWORD n = p->numEntries;
        if (p->ihPen >= (DWORD)handles) return 1;
        if (8 + 44 + (unsigned long long)n * 4 > r->nSize) n = 0;
        lb.lbStyle = p->brushStyle;
        lb.lbColor = p->color;
        lb.lbHatch = p->hatch;
        table->objectHandle[p->ihPen] = ExtCreatePen(p->style, p->width, &lb, n, n ? p->entries : NULL);
        return 1;
    }
    PlayEnhMetaFileRecord(dc, table, r, handles);
    return 1;
}

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
    RECT rc = {0, 0, w, h};
    EnumEnhMetaFile(dc, emf, play, NULL, &rc);
    GdiFlush();
    int stride = ((w * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER fh; ZeroMemory(&fh, sizeof fh);
    fh.bfType = 0x4D42; fh.bfOffBits = sizeof fh + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + stride * h;
    FILE *f = fopen(argv[2], "wb");
    if (!f) { fprintf(stderr, "cannot write %s\n", argv[2]); return 1; }
    fwrite(&fh, sizeof fh, 1, f); fwrite(&bi.bmiHeader, sizeof(BITMAPINFOHEADER), 1, f);
    fwrite(bits, stride, h, f); fclose(f);
    return 0;
}
