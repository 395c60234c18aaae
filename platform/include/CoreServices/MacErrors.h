/*
 * MacErrors.h — the status values the stand-in returns, under their real names, in the same
 * separate anonymous enumerations as the real header declares them (noErr is MacTypes.h's).
 * Two statuses of different groups are of different enumeration types: code that puts them
 * into one conditional expression or compares them directly converts one to OSErr first.
 */
#ifndef __MACERRORS__
#define __MACERRORS__

#ifdef __cplusplus
extern "C" {
#endif

enum {
    paramErr = -50,         /* error in a parameter */
    userCanceledErr = -128, /* the user cancelled */
    unimpErr = -4           /* unimplemented routine */
};

enum {
    dskFulErr = -34, /* disk full */
    ioErr = -36,     /* I/O error */
    eofErr = -39,    /* end of file */
    fnfErr = -43,    /* file not found */
    permErr = -54,   /* permission error */
    wrPermErr = -61, /* write permission error */
    dirNFErr = -120  /* directory not found */
};

enum {
    memFullErr = -108,   /* not enough memory */
    nilHandleErr = -109, /* a NULL handle */
    memWZErr = -111      /* tried to dispose a free block */
};

enum {
    errAECoercionFail = -1700,        /* the data could not be coerced to the requested type */
    errAEDescNotFound = -1701,        /* no descriptor with this keyword */
    errAECorruptData = -1702,         /* the data are corrupt */
    errAEWrongDataType = -1703,       /* the descriptor has the wrong type */
    errAENotAEDesc = -1704,           /* not a valid descriptor */
    errAEBadListItem = -1705,         /* the operation on a list item failed */
    errAENewerVersion = -1706,        /* needs a newer version of the manager */
    errAENotAppleEvent = -1707,       /* the event is not an Apple event */
    errAEEventNotHandled = -1708,     /* no handler accepted the event */
    errAEReplyNotValid = -1709,       /* AEResetTimer was passed an invalid reply */
    errAEUnknownSendMode = -1710,     /* the send mode is not valid */
    errAEWaitCanceled = -1711,        /* the user cancelled while waiting */
    errAETimeout = -1712,             /* the event timed out */
    errAENoUserInteraction = -1713,   /* no user interaction allowed */
    errAENotASpecialFunction = -1714, /* wrong keyword for a special function */
    errAEParamMissed = -1715,         /* a required parameter was not read */
    errAEUnknownAddressType = -1716,  /* the target address type is unknown */
    errAEHandlerNotFound = -1717,     /* no such handler in the table */
    errAEReplyNotArrived = -1718,     /* the reply has not arrived yet */
    errAEIllegalIndex = -1719,        /* the index is out of range */
    errAEImpossibleRange = -1720,     /* the range is not valid */
    errAEWrongNumberArgs = -1721,     /* wrong number of arguments */
    errAEAccessorNotFound = -1723,    /* no object accessor */
    errAENoSuchLogical = -1725,       /* not a logical operator */
    errAEBadTestKey = -1726,          /* bad comparison descriptor */
    errAENotAnObjSpec = -1727,        /* not an object specifier */
    errAENoSuchObject = -1728,        /* the object does not exist */
    errAENegativeCount = -1729,       /* a negative count */
    errAEEmptyListContainer = -1730,  /* an empty list as container */
    errAEUnknownObjectType = -1731,   /* unknown object type */
    errAERecordingIsAlreadyOn = -1732 /* recording is already on */
};

enum { errOSASystemError = -1750, errOSAInvalidID = -1751, errOSAScriptError = -1753 };

enum {
    errAEEventFailed = -10000,      /* the event failed */
    errAETypeError = -10001,        /* a descriptor has the wrong type */
    errAEBadKeyForm = -10002,       /* invalid key form */
    errAENotModifiable = -10003,    /* cannot be modified */
    errAEPrivilegeError = -10004,   /* insufficient privilege */
    errAEReadDenied = -10005,       /* cannot be read */
    errAEWriteDenied = -10006,      /* cannot be written */
    errAEIndexTooLarge = -10007,    /* the index is too large */
    errAENotAnElement = -10008,     /* not an element */
    errAECantHandleClass = -10010,  /* cannot handle this class */
    errAEInTransaction = -10011,    /* inside a transaction */
    errAENoSuchTransaction = -10012 /* no such transaction */
};

enum {
    errOSACantCoerce = errAECoercionFail,
    errOSAGeneralError = -2700, /* a script error */
    errOSAStackOverflow = -2706 /* too deeply nested */
};

enum {
    coreFoundationUnknownErr = -4960 /* CoreFoundation failed without a more specific status */
};

#ifdef __cplusplus
}
#endif

#endif
