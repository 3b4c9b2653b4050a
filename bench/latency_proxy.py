#!/usr/bin/env python3
"""A relay on loopback that holds every chunk for a fixed delay in each
direction, so a loopback server looks like one far away (25 ms each way is
a 50 ms round trip). Order is kept; throughput is not limited.
With COUNT_FILE, each connection's octets from the server to the client and
the number of the client's writes that reached the relay (the commands of one
write travel together: a dialogue one command at a time makes a write per
round trip) are appended to it, a line per connection, when it ends.
Usage: bench/latency_proxy.py LISTEN_PORT TARGET_HOST TARGET_PORT DELAY_MS [COUNT_FILE]"""
import asyncio
import sys


async def pipe(reader, writer, delay, counted=None, writes=None):
    queue = asyncio.Queue()
    loop = asyncio.get_running_loop()

    async def deliver():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if counted is not None:
                counted[0] += len(data)
            if writes is not None:
                writes[0] += 1
            queue.put_nowait((loop.time() + delay, data))
    finally:
        queue.put_nowait((loop.time() + delay, None))
        try:
            await sender
        except (ConnectionError, OSError):
            pass


async def main():
    port, host, target, delay = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), float(sys.argv[4]) / 1000
    count_file = sys.argv[5] if len(sys.argv) > 5 else None

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(host, target)
        except OSError:
            client_writer.close()
            return
        received, writes = [0], [0]
        await asyncio.gather(pipe(client_reader, server_writer, delay, writes=writes),
                             pipe(server_reader, client_writer, delay, received), return_exceptions=True)
        if count_file:
            with open(count_file, "a") as counts:
                counts.write(f"{received[0]} {writes[0]}\n")

    server = await asyncio.start_server(handle, "127.0.0.1", port)
    async with server:
        await server.serve_forever()


asyncio.run(main())
