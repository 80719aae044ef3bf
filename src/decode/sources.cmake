# Name tables, parameter layouts, the IRP text block, template buffers.
