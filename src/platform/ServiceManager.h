#pragma once
// Service control manager: registration, the dispatcher, control handler and status reports.
// Windows: the real SCM. Linux: systemd (unit file, NOTIFY_SOCKET, signals as control codes).
// The interface is shaped by the service host; see the service subsystem.
