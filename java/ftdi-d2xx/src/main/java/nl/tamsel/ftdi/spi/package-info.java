/**
 * The service interface through which other libraries offer a D2XX driver by name, as the
 * simulator does.
 */
package nl.tamsel.ftdi.spi;
