#pragma once

#include <QString>
#include <QtGlobal>

// The planner's rules, each with the reason text it leaves on an action. Actions keep the codes
// and make the texts only when they are read.
class SyncReason
{
public:
    enum Code : quint8 {
        None = 0,
        Ta,
        TaUnsupported,
        X,
        SLocal,
        SRemote,
        HfFolder,
        O,
        Yl,
        Yc,
        Yu,
        C,
        D,
        E,
        F,
        G,
        J,
        I,
        K,
        La,
        Lb,
        M,
        N,
        He,
        Ha,
        Hb,
        Hc,
        Hd,
        Z,
        Z1,
        Z2,
        Z3,
        Z4,
        D6,
        N1,
        HfFile,
        B8,
        U1,
        U2,
        U3,
        D1,
        D2,
        D3,
        Z5,
        Z6,
        N2,
        B1,
        N3,
        D4,
        U4,
        B2,
        U5,
        D5,
        B3,
        B4,
        B5,
        B6,
        B7,
        Z9,
        ActionUndefined,
        StatusUndefined,
        // A text of its own, kept as it is.
        Text,
    };

    // The text of a code; the argument fills the place the rule's text has for it.
    static QString text(Code code, const QString &argument = QString());
    static bool takesArgument(Code code);
};
