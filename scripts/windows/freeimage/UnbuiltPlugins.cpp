// The plugins of FreeImage that the Windows build leaves out (their codec
// libraries are not built). Plugin.cpp registers every plugin in a fixed
// order and a plugin's FIF_* number is its place in that order, so each one
// left out is still registered, under its own name, description, extensions
// and MIME type, but without load, save or validate functions: FreeImage
// then knows the format and reports that it can neither read nor write it.
#include "FreeImage.h"
#include "Plugin.h"

#define KORVA_UNBUILT_PLUGIN(NAME, FORMAT, DESCRIPTION, EXTENSIONS, MIME)        \
  static const char* DLL_CALLCONV NAME##Format() { return FORMAT; }             \
  static const char* DLL_CALLCONV NAME##Description() { return DESCRIPTION; }   \
  static const char* DLL_CALLCONV NAME##Extensions() { return EXTENSIONS; }     \
  static const char* DLL_CALLCONV NAME##Mime() { return MIME; }                 \
  void DLL_CALLCONV Init##NAME(Plugin* plugin, int /*format_id*/) {             \
    plugin->format_proc = NAME##Format;                                         \
    plugin->description_proc = NAME##Description;                               \
    plugin->extension_proc = NAME##Extensions;                                  \
    plugin->mime_proc = NAME##Mime;                                             \
  }

KORVA_UNBUILT_PLUGIN(ICO, "ICO", "Windows Icon", "ico", "image/vnd.microsoft.icon")
KORVA_UNBUILT_PLUGIN(JPEG, "JPEG", "JPEG - JFIF Compliant", "jpg,jif,jpeg,jpe", "image/jpeg")
KORVA_UNBUILT_PLUGIN(JNG, "JNG", "JPEG Network Graphics", "jng", "image/x-mng")
KORVA_UNBUILT_PLUGIN(KOALA, "KOALA", "C64 Koala Graphics", "koa", "image/x-koala")
KORVA_UNBUILT_PLUGIN(IFF, "IFF", "IFF Interleaved Bitmap", "iff,lbm", "image/x-iff")
KORVA_UNBUILT_PLUGIN(MNG, "MNG", "Multiple-image Network Graphics", "mng", "video/x-mng")
// Registered six times (PBM, PGM, PPM, each ASCII and raw) with the names
// given by Plugin.cpp.
KORVA_UNBUILT_PLUGIN(PNM, "PNM", "Portable Network Media", "pbm,pgm,ppm", "image/freeimage-pnm")
KORVA_UNBUILT_PLUGIN(PCD, "PCD", "Kodak PhotoCD", "pcd", "image/x-photo-cd")
KORVA_UNBUILT_PLUGIN(PCX, "PCX", "Zsoft Paintbrush", "pcx", "image/x-pcx")
KORVA_UNBUILT_PLUGIN(RAS, "RAS", "Sun Raster Image", "ras", "image/x-cmu-raster")
KORVA_UNBUILT_PLUGIN(TIFF, "TIFF", "Tagged Image File Format", "tif,tiff", "image/tiff")
KORVA_UNBUILT_PLUGIN(WBMP, "WBMP", "Wireless Bitmap", "wap,wbmp,wbm", "image/vnd.wap.wbmp")
KORVA_UNBUILT_PLUGIN(PSD, "PSD", "Adobe Photoshop", "psd,psb", "image/vnd.adobe.photoshop")
KORVA_UNBUILT_PLUGIN(CUT, "CUT", "Dr. Halo", "cut", "image/x-cut")
KORVA_UNBUILT_PLUGIN(XBM, "XBM", "X11 Bitmap Format", "xbm", "image/x-xbitmap")
KORVA_UNBUILT_PLUGIN(XPM, "XPM", "X11 Pixmap Format", "xpm", "image/x-xpixmap")
KORVA_UNBUILT_PLUGIN(GIF, "GIF", "Graphics Interchange Format", "gif", "image/gif")
KORVA_UNBUILT_PLUGIN(HDR, "HDR", "High Dynamic Range Image", "hdr", "image/vnd.radiance")
KORVA_UNBUILT_PLUGIN(G3, "G3", "Raw fax format CCITT G.3", "g3", "image/fax-g3")
KORVA_UNBUILT_PLUGIN(SGI, "SGI", "SGI Image Format", "sgi,rgb,rgba,bw", "image/x-sgi")
KORVA_UNBUILT_PLUGIN(EXR, "EXR", "ILM OpenEXR", "exr", "image/x-exr")
KORVA_UNBUILT_PLUGIN(J2K, "J2K", "JPEG-2000 codestream", "j2k,j2c", "image/j2k")
KORVA_UNBUILT_PLUGIN(JP2, "JP2", "JPEG-2000 File Format", "jp2", "image/jp2")
KORVA_UNBUILT_PLUGIN(PFM, "PFM", "Portable floatmap", "pfm", "image/x-portable-floatmap")
KORVA_UNBUILT_PLUGIN(PICT, "PICT", "Macintosh PICT", "pct,pict,pic", "image/x-pict")
KORVA_UNBUILT_PLUGIN(RAW, "RAW", "RAW camera image",
                     "3fr,arw,bay,bmq,cap,cine,cr2,crw,cs1,dc2,dcr,drf,dsc,dng,erf,fff,ia,iiq,"
                     "k25,kc2,kdc,mdc,mef,mos,mrw,nef,nrw,orf,pef,ptx,pxn,qtk,raf,raw,rdc,rw2,"
                     "rwl,rwz,sr2,srf,srw,sti,x3f",
                     "image/x-dcraw")
KORVA_UNBUILT_PLUGIN(WEBP, "WebP", "Google WebP image format", "webp", "image/webp")
KORVA_UNBUILT_PLUGIN(JXR, "JPEG-XR", "JPEG XR image format", "jxr,wdp,hdp", "image/vnd.ms-photo")
