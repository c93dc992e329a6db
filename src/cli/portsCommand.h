#ifndef PORTSCOMMAND_H
#define PORTSCOMMAND_H

#include <QJsonArray>

// ports: the interfaces the window's Interfaces menu lists, top entry first;
// with 'all' followed by the ports the menu leaves out.
QJsonArray interfaceList(bool all);
int portsCommand(bool all, bool json);

#endif // PORTSCOMMAND_H
