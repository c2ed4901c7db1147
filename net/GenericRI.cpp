#include "net/GenericRI.h"

GenericRI::GenericRI(ISession *session, QObject *parent)
    : QObject(parent)
    , session(session)
{}

GenericRI::~GenericRI() = default;
