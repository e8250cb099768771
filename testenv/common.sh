# Shared helpers of the test server scripts (sourced, not run).

# A TCP port on 127.0.0.1 that nothing listens on right now.
free_port() {
	python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Stops the process named in a PID file: TERM, up to five seconds, then KILL.
stop_by_pidfile() {
	local pidfile=$1
	[ -f "$pidfile" ] || return 0
	local pid
	pid=$(cat "$pidfile")
	kill "$pid" 2>/dev/null || true
	for _ in $(seq 100); do
		kill -0 "$pid" 2>/dev/null || break
		sleep 0.05
	done
	kill -9 "$pid" 2>/dev/null || true
	rm -f "$pidfile"
}
