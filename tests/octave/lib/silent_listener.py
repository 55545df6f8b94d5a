# A TCP listener on 127.0.0.1 that takes no connection: its backlog of one is
# filled by a client of its own, so the kernel drops every further SYN, as a
# host that never answers. Prints its port, then waits to be killed (300 s at
# most). Used by full_backlog.m and the Wine socket scenario.
import socket
import time

listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(0)
held = socket.create_connection(listener.getsockname())
print(listener.getsockname()[1], flush=True)
time.sleep(300)
