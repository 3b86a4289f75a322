# cassandra-env.sh of a sample node: the JVM settings Cassandra starts with.
# Sourced by bin/cassandra; only JMX_PORT matters to the Priam controller.

calculate_heap_sizes()
{
    system_memory_in_mb=`free -m | awk '/:/ {print $2;exit}'`
    system_cpu_cores=`egrep -c 'processor([[:space:]]+):.*' /proc/cpuinfo`
    half_system_memory_in_mb=`expr $system_memory_in_mb / 2`
    quarter_system_memory_in_mb=`expr $half_system_memory_in_mb / 2`
    MAX_HEAP_SIZE="${half_system_memory_in_mb}M"
    HEAP_NEWSIZE="`expr $system_cpu_cores \* 100`M"
}

if [ "x$MAX_HEAP_SIZE" = "x" ] && [ "x$HEAP_NEWSIZE" = "x" ]; then
    calculate_heap_sizes
fi

JVM_OPTS="$JVM_OPTS -XX:+HeapDumpOnOutOfMemoryError"
JVM_OPTS="$JVM_OPTS -Xss256k"

# Specifies the default port over which Cassandra will be available for
# JMX connections.
JMX_PORT="7199"

LOCAL_JMX=yes
if [ "$LOCAL_JMX" = "yes" ]; then
  JVM_OPTS="$JVM_OPTS -Dcassandra.jmx.local.port=$JMX_PORT"
  JVM_OPTS="$JVM_OPTS -Dcom.sun.management.jmxremote.authenticate=false"
else
  JVM_OPTS="$JVM_OPTS -Dcassandra.jmx.remote.port=$JMX_PORT"
  JVM_OPTS="$JVM_OPTS -Dcom.sun.management.jmxremote.rmi.port=$JMX_PORT"
  JVM_OPTS="$JVM_OPTS -Dcom.sun.management.jmxremote.authenticate=true"
  JVM_OPTS="$JVM_OPTS -Dcom.sun.management.jmxremote.password.file=/etc/cassandra/jmxremote.password"
fi

JVM_OPTS="$JVM_OPTS $JVM_EXTRA_OPTS"
