/*
 * MacErrors.h — the status values the stand-in returns, under their real names. All of
 * them, noErr included, are one enumeration (see MacTypes.h).
 */
#ifndef __MACERRORS__
#define __MACERRORS__

#ifdef __cplusplus
extern "C" {
#endif

enum {
    noErr = 0,                         /* no error */
    paramErr = -50,                    /* error in a parameter */
    unimpErr = -4,                     /* unimplemented routine */
    ioErr = -36,                       /* I/O error */
    fnfErr = -43,                      /* file not found */
    dirNFErr = -120,                   /* directory not found */
    permErr = -54,                     /* permission error */
    wrPermErr = -61,                   /* write permission error */
    dskFulErr = -34,                   /* disk full */
    eofErr = -39,                      /* end of file */
    memFullErr = -108,                 /* not enough memory */
    nilHandleErr = -109,               /* a NULL handle */
    memWZErr = -111,                   /* tried to dispose a free block */
    userCanceledErr = -128,            /* the user cancelled */
    errAECoercionFail = -1700,         /* the data could not be coerced to the requested type */
    errAEDescNotFound = -1701,         /* no descriptor with this keyword */
    errAECorruptData = -1702,          /* the data are corrupt */
    errAEWrongDataType = -1703,        /* the descriptor has the wrong type */
    errAENotAEDesc = -1704,            /* not a valid descriptor */
    errAEBadListItem = -1705,          /* the operation on a list item failed */
    errAENewerVersion = -1706,         /* needs a newer version of the manager */
    errAENotAppleEvent = -1707,        /* the event is not an Apple event */
    errAEEventNotHandled = -1708,      /* no handler accepted the event */
    errAEReplyNotValid = -1709,        /* AEResetTimer was passed an invalid reply */
    errAEUnknownSendMode = -1710,      /* the send mode is not valid */
    errAEWaitCanceled = -1711,         /* the user cancelled while waiting */
    errAETimeout = -1712,              /* the event timed out */
    errAENoUserInteraction = -1713,    /* no user interaction allowed */
    errAENotASpecialFunction = -1714,  /* wrong keyword for a special function */
    errAEParamMissed = -1715,          /* a required parameter was not read */
    errAEUnknownAddressType = -1716,   /* the target address type is unknown */
    errAEHandlerNotFound = -1717,      /* no such handler in the table */
    errAEReplyNotArrived = -1718,      /* the reply has not arrived yet */
    errAEIllegalIndex = -1719,         /* the index is out of range */
    errAEImpossibleRange = -1720,      /* the range is not valid */
    errAEWrongNumberArgs = -1721,      /* wrong number of arguments */
    errAEAccessorNotFound = -1723,     /* no object accessor */
    errAENoSuchLogical = -1725,        /* not a logical operator */
    errAEBadTestKey = -1726,           /* bad comparison descriptor */
    errAENotAnObjSpec = -1727,         /* not an object specifier */
    errAENoSuchObject = -1728,         /* the object does not exist */
    errAENegativeCount = -1729,        /* a negative count */
    errAEEmptyListContainer = -1730,   /* an empty list as container */
    errAEUnknownObjectType = -1731,    /* unknown object type */
    errAERecordingIsAlreadyOn = -1732, /* recording is already on */
    errAEEventFailed = -10000,         /* the event failed */
    errAETypeError = -10001,           /* a descriptor has the wrong type */
    errAEBadKeyForm = -10002,          /* invalid key form */
    errAENotModifiable = -10003,       /* cannot be modified */
    errAEPrivilegeError = -10004,      /* insufficient privilege */
    errAEReadDenied = -10005,          /* cannot be read */
    errAEWriteDenied = -10006,         /* cannot be written */
    errAEIndexTooLarge = -10007,       /* the index is too large */
    errAENotAnElement = -10008,        /* not an element */
    errAECantHandleClass = -10010,     /* cannot handle this class */
    errAEInTransaction = -10011,       /* inside a transaction */
    errAENoSuchTransaction = -10012,   /* no such transaction */
    errOSAGeneralError = -2700,        /* a script error */
    errOSACantCoerce = errAECoercionFail,
    errOSASystemError = -2750,
    errOSAInvalidID = -1751,
    errOSAScriptError = -1753,
    errOSAStackOverflow = -2706,     /* too deeply nested */
    coreFoundationUnknownErr = -4960 /* CoreFoundation failed without a more specific status */
};

#ifdef __cplusplus
}
#endif

#endif
