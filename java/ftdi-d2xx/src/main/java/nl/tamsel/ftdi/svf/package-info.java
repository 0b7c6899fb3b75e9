/**
 * Serial Vector Format (SVF): {@link nl.tamsel.ftdi.svf.SvfParser} reads a file one statement
 * at a time in bounded memory; the statements are records of {@link nl.tamsel.ftdi.svf.SvfStatement}.
 */
package nl.tamsel.ftdi.svf;
