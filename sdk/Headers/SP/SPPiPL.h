// Plug-in property list records and the generic property keys. Keys are the integer values of
// four-character codes; stored little-endian they appear byte-reversed in a Windows resource.
// The Windows resource puts a 16-bit word before the list header, which is not part of these
// records. As in the SDK, the name and category keys and kPIPropertiesVersion are left to the
// resource-compiler files, and the vendor of the effect properties ('8BIM') is not
// PIAdobeVendorID.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int PIType;

#define kCurrentPiPLVersion 0

#define PIAdobeVendorID 0x41444245U        /* 'ADBE' */
#define PIKindProperty 0x6B696E64U         /* 'kind' */
#define PIWin64X86CodeProperty 0x38363634U /* '8664' */
#define PIWin32X86CodeProperty 0x77783836U /* 'wx86' */

typedef struct PIProperty {
    PIType vendorID;
    PIType propertyKey;
    int propertyID; // index within one key, normally 0
    int propertyLength;
    char propertyData[1]; // propertyLength bytes, then zero padding to a multiple of 4
} PIProperty;

typedef struct PIPropertyList {
    int version;
    int count;
    PIProperty properties[1]; // `count` properties follow
} PIPropertyList;

#ifdef __cplusplus
}
#endif
