#pragma once

#include <QString>

// Known values of the sign-in with the RFC 5054 inputs, from an independent calculation.
namespace vec {

inline const QString VecA = QStringLiteral("60975527035cf2ad1989806f0407210bc81edc04e2762a56afd529ddda2d4393");
inline const QString VecBSecret = QStringLiteral("e487cb59d31ac550471e81f00f6928e01dda08e974a004f49e61f5d105284d20");
inline const QString VecBSecretShortK =
        QStringLiteral("e487cb59d31ac550471e81f00f6928e01dda08e974a004f49e61f5d105284f5d");
inline const QString VecPublicA = QStringLiteral(
        "61d5e490f6f1b79547b0704c436f523dd0e560f0c64115bb72557ec44352e8903211c04692272d8b2d1a5358a2cf1b6e0bfcf99f921530"
        "ec8e39356179eae45e42ba92aeaced825171e1e8b9af6d9c03e1327f44be087ef06530e69f66615261eef54073ca11cf5858f0edfdfe15"
        "efeab349ef5d76988a3672fac47b0769447b");
inline const QString VecK = QStringLiteral("d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9");
inline const QString VecM1 = QStringLiteral("e67e990564ce3fa65579cb78bcb6bef4e528734ea70f3972b403bf404de334a6");
inline const QString VecUserKey = QStringLiteral(
        "f6cf1f0da09e69f76864b0d91b18b82d3f7c186faabe23f24bcbafb52360a464e1b9394e9a71c5adc5830907f95428df");
inline const QString ShortK = QStringLiteral("35587e9e4befa454d26047c81edb5abcb9b2e309d401d2eb5c5accc016062b");
inline const QString ShortUserKey = QStringLiteral(
        "902c60cf9540b044ade237396b6444fd6f3e00f48047010f4ca629a993abe8c4f8aa4b1105aa10cfc5b42f19574bb61c");

} // namespace vec
